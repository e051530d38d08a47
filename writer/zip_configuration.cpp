// zip_configuration.cpp — writing the ".zfc" configuration file.
#include "writer/zip_configuration.h"

#include <memory>

#include "classlib/exception.h"
#include "classlib/file_stream.h"
#include "platform/platform.h"
#include "support/lfn_file_stream.h"
#include "support/string_table.h"

namespace kestrel::writer {

using support::LoadStr;

bool SaveZipConfiguration(const std::string& fileName, const archive::TSortedZip& entries,
                          const archive::TEndCentral& end) {
  std::unique_ptr<support::TLFNFileStream> file;
  try {
    file = std::make_unique<support::TLFNFileStream>(fileName, classlib::fmCreate);
  } catch (const classlib::Exception&) {
    os::MessageBox(LoadStr(support::sCannotCreateConfig), "", os::kMbOk);
    return false;
  }
  try {
    for (int32_t i = 0; i < entries.Count(); ++i) entries.Header(i)->WriteCentral(*file);
    end.Write(*file);
    file->FlushBuffer();
    file.reset();
    return true;
  } catch (const classlib::Exception&) {
    file.reset();
  }
  os::DeleteFile(fileName);
  os::MessageBox(LoadStr(support::sCannotSaveConfig), "", os::kMbOk);
  return false;
}

}  // namespace kestrel::writer
