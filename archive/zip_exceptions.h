// zip_exceptions.h — the zip component's exception classes; their English messages come
// from the component's string table (support/string_table.h).
#pragma once

#include <cstdint>
#include <string>

#include "classlib/exception.h"

namespace kestrel::archive {

// Each carries only its message; they derive directly from the class library's Exception.
class EBadZipFile : public classlib::Exception {
  using Exception::Exception;
};
class EIncompleteZip : public classlib::Exception {
  using Exception::Exception;
};
class ENotAZipFile : public classlib::Exception {
  using Exception::Exception;
};
class EUserCanceled : public classlib::Exception {
  using Exception::Exception;
};
// Raised by the writer when a volume or the disk has no room for what it must write. When a
// write was refused it carries the system's error code (0 when the room was measured instead).
class ENotEnoughRoom : public classlib::Exception {
 public:
  explicit ENotEnoughRoom(std::string message, uint32_t systemError = 0)
      : Exception(std::move(message)), systemError_(systemError) {}
  uint32_t SystemError() const noexcept { return systemError_; }

 private:
  uint32_t systemError_;
};

}  // namespace kestrel::archive
