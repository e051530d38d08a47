// exception.h — the exception classes of the class library: a message-carrying base and the
// list, stream, file, class-registry and conversion errors that the component raises.
#pragma once

#include <exception>
#include <string>

namespace kestrel::classlib {

// Base of every exception the component raises; carries an ANSI (code page 936) message.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

// Index, capacity or count out of range, duplicates refused, operations a list forbids.
class EListError : public Exception {
  using Exception::Exception;
};
// String lists raise their own list error (a kind of list error).
class EStringListError : public EListError {
  using EListError::EListError;
};
// Stream failures; ReadBuffer/WriteBuffer raise the read/write kinds on a short transfer.
class EStreamError : public Exception {
  using Exception::Exception;
};
class EReadError : public EStreamError {
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
  using EStreamError::EStreamError;
};
// A file stream could not open (EFOpenError) or create (EFCreateError) its file.
class EFOpenError : public EStreamError {
  using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
  using EStreamError::EStreamError;
};
// A class name missing from the class registry (saved object lists).
class EClassNotFound : public Exception {
  using Exception::Exception;
};
// Invalid conversions: an impossible date or time, assignment between unrelated classes.
class EConvertError : public Exception {
  using Exception::Exception;
};

}  // namespace kestrel::classlib
