#pragma once
// The framework's exceptions and its report of an exception that nothing handled.

#include <exception>
#include <memory>
#include <stdexcept>

#include "platform/types.h"

namespace platform {

class RuntimeException : public std::runtime_error {
 public:
  explicit RuntimeException(const String& message) : std::runtime_error(message) {}
  virtual const char* ClassName() const noexcept { return "RuntimeException"; }
};

// Use of a missing object. The message names what was missing.
class NilObjectException : public RuntimeException {
 public:
  explicit NilObjectException(const String& what) : RuntimeException(what) {}
  const char* ClassName() const noexcept override { return "NilObjectException"; }
};

// A file operation failed. The message names the file and the system error; ErrorNumber()
// is the errno-style code.
class IOException : public RuntimeException {
 public:
  IOException(const String& message, int errorNumber)
      : RuntimeException(message), errorNumber_(errorNumber) {}
  const char* ClassName() const noexcept override { return "IOException"; }
  int ErrorNumber() const noexcept { return errorNumber_; }

 private:
  int errorNumber_;
};

// Writes the exception's class and message to standard error. The event loop calls it for
// an exception that leaves an event handler or a thread's Run event, and goes on.
void UnhandledException(const std::exception& e);

// The program's nil test: returns the object, or raises NilObjectException naming `what`.
// The raw-pointer form is for the window's control accessors, which the tuning pass calls
// for every station: the test stays inline and the throw out of line.
[[noreturn]] void ThrowNilObject(const char* what);
template <class T>
T& Need(const std::shared_ptr<T>& object, const char* what) {
  if (!object) [[unlikely]] ThrowNilObject(what);
  return *object;
}
template <class T>
T& Need(T* object, const char* what) {
  if (!object) [[unlikely]] ThrowNilObject(what);
  return *object;
}

}  // namespace platform
