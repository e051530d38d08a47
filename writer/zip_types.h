// zip_types.h — the enumerations and event types of the zip-writing component TLynZip.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/component_types.h"
#include "archive/end_central.h"
#include "archive/zip_header_info.h"

namespace kestrel::writer {

using archive::Object;

enum TZipAction : uint8_t { zaUpdate, zaReplace, zaFreshen };
enum TUpdateAction : uint8_t { uaReplacing, uaKeeping };

// A file that a run saw but did not pack, and why (ANSI text, like the names).
struct PassedOverFile {
  std::string name;
  std::string reason;
  bool operator==(const PassedOverFile&) const = default;
};

// Events: the sender first; reference parameters carry the handler's answers.
using TStartZipInfo = std::function<void(Object* sender, int32_t numFiles, int64_t totalBytes,
                                         archive::TEndCentral& endCentralRecord, bool& stopNow)>;
using TStartZipEvent = std::function<void(Object* sender, const std::string& fName,
                                          archive::TZipHeaderInfo& zipHeader, bool& skip)>;
using TEndZipFileEvent =
    std::function<void(Object* sender, const std::string& fName, int64_t uncompressedSize,
                       int64_t compressedSize, int64_t currentZipSize)>;
using TZipComplete = std::function<void(Object* sender, int32_t fileCount)>;
using TUpdateEvent =
    std::function<void(Object* sender, TUpdateAction udAction, int32_t fileIndex)>;
using TDisposeEvent = std::function<void(Object* sender, const std::string& fName, bool& skip)>;
using TNoSuchFileEvent = std::function<void(Object* sender, const std::string& fName)>;
using TOnRecursingFile = std::function<void(Object* sender, const std::string& fName)>;
using TPrepareNextDisk = std::function<void(Object* sender, int32_t diskNum)>;
using TEncryptEvent = std::function<void(Object* sender, uint8_t* buffer, int32_t length,
                                         const std::string& password)>;
using TDeleteEvent = std::function<void(Object* sender, const std::string& fName, bool& skip)>;

}  // namespace kestrel::writer
