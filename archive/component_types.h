// component_types.h — the enumerations and event types of the zip component's base.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "classlib/object.h"

namespace kestrel::archive {

enum TMultiMode : uint8_t { mmNone, mmSpan, mmBlocks };
enum TIncompleteZipMode : uint8_t { izAssumeMulti, izAssumeBad, izAssumeNotAZip };
enum TUZOverwriteMode : uint8_t { Prompt, Always, Never, ifNewer, ifOlder };
// srNameNotConvertible: a name the directory search found has no form in the ANSI code page
// (the system gave "?" for what it could not convert), so the file cannot be named or read.
enum TSkipReason : uint8_t {
  srBadPassword,
  srNoOverwrite,
  srFileOpenError,
  srCreateError,
  srNameNotConvertible,
};

using classlib::Object;

// Events: the sender first; reference parameters carry the handler's answers.
using TStartUnzipInfo =
    std::function<void(Object* sender, int32_t numFiles, int64_t totalBytes, bool& stopNow)>;
using TFilePercentDone = std::function<void(Object* sender, int32_t percent)>;
using TTotalPercentDone = std::function<void(Object* sender, int32_t percent)>;
using TStartUnZipEvent =
    std::function<void(Object* sender, int32_t fileIndex, std::string& fName, bool& skip)>;
using TEndUnZipEvent =
    std::function<void(Object* sender, int32_t fileIndex, const std::string& fName)>;
using TPromptForOverwrite = std::function<void(Object* sender, bool& overWriteIt,
                                               int32_t fileIndex, std::string& fName)>;
using TSkippingFile = std::function<void(Object* sender, TSkipReason reason,
                                         const std::string& fName, int32_t fileIndex,
                                         bool& retry)>;
using TBadPassword =
    std::function<void(Object* sender, int32_t fileIndex, std::string& newPassword)>;
using TBadCRC = std::function<void(Object* sender, int32_t calcCRC, int32_t storedCRC,
                                   int32_t fileIndex)>;
using TIncompleteZip = std::function<void(Object* sender, TIncompleteZipMode& incompleteMode)>;
using TGetNextDisk = std::function<void(Object* sender, int32_t nextDisk, std::string& fName)>;
using TUnZipComplete = std::function<void(Object* sender, int32_t fileCount)>;
using TGetNextBuffer =
    std::function<void(Object* sender, char*& buffer, const std::string& fName,
                       int32_t amountUsed, int32_t bufferNum, bool& quit)>;
using TDecryptEvent = std::function<void(Object* sender, uint8_t* buffer, int32_t length,
                                         const std::string& password)>;

}  // namespace kestrel::archive
