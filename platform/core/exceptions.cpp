#include "platform/exceptions.h"

#include <cstdio>
#include <string>

namespace platform {

void ThrowNilObject(const char* what) {
  throw NilObjectException(String(what) + " is missing (nil object)");
}

void UnhandledException(const std::exception& e) {
  const auto* runtime = dynamic_cast<const RuntimeException*>(&e);
  String line = "palmeno: unhandled ";
  line += runtime ? runtime->ClassName() : "exception";
  line += ": ";
  line += e.what();
  line += '\n';
  // One write, so that reports from different sources never interleave within a line.
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace platform
