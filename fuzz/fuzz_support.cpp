#include "fuzz/fuzz_support.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <system_error>

#include "app/media.h"
#include "platform/files.h"
#include "platform/headless/headless.h"
#include "tests/support/headless_program.h"

namespace fs = std::filesystem;

namespace fuzzsupport {

namespace {

testsupport::HeadlessProgram* program = nullptr;  // made by Init, ended at exit

void EndProgram() {
  delete program;
  program = nullptr;
}

}  // namespace

void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", condition, file, line);
  std::fflush(stderr);
  abort();
}

void Init() {
  if (program) return;
  // Every input is written to a file and read back, so a memory-backed folder is preferred.
  std::error_code ignored;
  program = new testsupport::HeadlessProgram(fs::is_directory("/dev/shm", ignored)
                                                 ? fs::path("/dev/shm")
                                                 : fs::path());
  program->Start();
  tunerWindow::Instance();
  platform::headless::RunUntilIdle();
  QuietBackend();
  // libFuzzer ends the process with exit(); end the program and let the windows go while
  // the runtime's own statics, made by the start, still stand.
  atexit(EndProgram);
}

tunerWindow& MainWindow() {
  const auto window = tunerWindow::Instance();
  FUZZ_CHECK(window != nullptr);
  return *window;
}

fs::path WorkDir() { return program->WorkDir(); }
fs::path ConfigDir() { return program->ConfigDir(); }

void WriteBytes(const fs::path& path, const std::uint8_t* data, std::size_t size) {
  std::error_code ignored;
  if (fs::is_directory(path, ignored)) fs::remove_all(path, ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) CheckFailed(("cannot write " + path.string()).c_str(), __FILE__, __LINE__);
}

void RemovePath(const fs::path& path) {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

std::vector<std::string> LinesOf(std::string_view contents) {
  platform::TextInputStream reader{std::string(contents)};
  std::vector<std::string> lines;
  while (!reader.AtEOF()) lines.push_back(reader.ReadLine());
  return lines;
}

std::uint32_t Mix(const std::uint8_t* data, std::size_t size) {
  std::uint32_t h = 2166136261u;  // FNV-1a
  for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
  return h;
}

void QuietBackend() {
  for (const auto& sound : {tuned(), amnoise(), fmnoise()}) {
    if (sound) sound->Stop();
  }
  platform::headless::ClearLog();
}

}  // namespace fuzzsupport
