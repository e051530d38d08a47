// string_table.cpp — the texts of the component's string table.
#include "support/string_table.h"

#include <iterator>

namespace kestrel::support {

namespace {
// Indexed by id - sSeekError.
constexpr const char* kTexts[] = {
    " Seek error",
    "Invalid seek origin (%d)",
    "Putback overflow",
    "Could not copy from ",
    " -> ",
    "Error",
    "List index out of bounds (%d)",
    "tObject %s not in item list",
    "Duplicate Object index",
    "Cannot <Put> an Object in a sorted list!",
    "Class <%s> not registered",
    "Source Class <%s> not registered",
    "Nil Source Class!",
    "User canceled setting zip file name.",
    "User canceled Set Desination Directory",
    "User canceled loading new disk.",
    "User Aborted Operation",
    "Incomplete Zip File",
    "Not a valid zip file!",
    "Index %d is out of range",
    "Please insert disk ",
    " of the multi-disk set.",
    "Open a Zip File",
    "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All Files (*.*)|*.*",
    "User canceled Zip operation",
    "Not enough room to write archive",
    "Unable to create Zip Configuration File to disk",
    "Unable to save Zip Configuration File to disk",
};
static_assert(std::size(kTexts) == sCannotSaveConfig - sSeekError + 1);
}  // namespace

const char* LoadStr(int id) {
  if (id < sSeekError || id > sCannotSaveConfig) return "";
  return kTexts[id - sSeekError];
}

}  // namespace kestrel::support
