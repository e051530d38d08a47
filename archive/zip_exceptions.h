// zip_exceptions.h — the zip component's exception classes; their English messages come
// from the component's string table (support/string_table.h).
#pragma once

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
// Raised by the writer when a volume or the disk has no room for what it must write.
class ENotEnoughRoom : public classlib::Exception {
  using Exception::Exception;
};

}  // namespace kestrel::archive
