// volume_names.h — the names of a multi-volume archive's parts: numbered block files, the
// labels of spanned disks and the configuration file beside the archive.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::writer {

// The archive name with its extension replaced by the 1-based volume number in three digits:
// x.zip, 1 -> x.001.
std::string BlockFileName(const std::string& zipName, int32_t volume);
// "PKBACK# " followed by the 1-based disk number in three digits: 1 -> "PKBACK# 001".
std::string DiskLabel(int32_t disk);
// The configuration file beside the archive: x.zip -> x.zfc.
std::string ConfigurationFileName(const std::string& zipName);
// True when disk labels apply to the archive's drive: A: or B:, in either case.
bool IsFloppyDrivePath(const std::string& zipName);

}  // namespace kestrel::writer
