// device_names_test.cpp — the names Windows opens as devices, told from the ordinary names
// that merely look like them; on Linux none of them is a device.
#include <gtest/gtest.h>

#include <string>

#include "platform/device_names.h"
#include "platform/platform.h"

namespace kestrel::os {
namespace {

TEST(DeviceNames, ReservedNamesInAnyCaseWithExtensionsAndTrailingDotsOrBlanks) {
  for (const char* name :
       {"CON", "con", "Con", "PRN", "AUX", "NUL", "nul.txt", "aux.c", "NUL.tar.gz", "COM1",
        "com9", "COM0", "LPT1", "lpt9.dat", "LPT0", "CONIN$", "conout$", "conin$.log", "CON.",
        "CON ", "CON . .", "nul .txt", "AUX  .h", "COM1.txt.", "NUL:", "COM\xB9", "LPT\xB2.x",
        "com\xB3"}) {
    EXPECT_TRUE(IsWindowsDeviceName(name)) << name;
  }
}

TEST(DeviceNames, LookAlikesAreOrdinaryNames) {
  for (const char* name :
       {"", ".", "..", "CONX", "CONFIG.SYS", "icon", "xCON", " CON", "_nul", "NUL_", "NULL",
        "COM", "COM10", "COM1x", "LPT", "LPTA", "LPT12.txt", "COM\xB4", "CONIN", "CONOUT",
        "CONIN$$", "aux_file.c", "auxiliary", "com1-notes.txt", ".nul", "...CON"}) {
    EXPECT_FALSE(IsWindowsDeviceName(name)) << name;
  }
}

TEST(DeviceNames, LinuxHasNone) {
  for (const char* name : {"CON", "nul.txt", "aux.c", "COM1", "CONIN$"}) {
    EXPECT_FALSE(NameOpensDevice(name)) << name;
  }
}

}  // namespace
}  // namespace kestrel::os
