// zip_configuration.h — the ".zfc" configuration file of a multi-volume archive: the central
// directory records of every entry followed by the end record, so that the reading side can
// load the directory from the first disk without asking for the last one.
#pragma once

#include <string>

#include "archive/end_central.h"
#include "archive/sorted_zip.h"

namespace kestrel::writer {

// Writes entries' central records (in list order) and end with its comment to fileName.
// Failures are reported to the user in a message box ("Unable to create …" / "Unable to
// save Zip Configuration File to disk") and never raised: the archive itself is complete.
// A file that could not be written whole is removed, so no partial copy is ever believed.
// Returns true when the file was written.
bool SaveZipConfiguration(const std::string& fileName, const archive::TSortedZip& entries,
                          const archive::TEndCentral& end);

}  // namespace kestrel::writer
