#include "fuzz/fuzz_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "app/media.h"
#include "platform/application.h"
#include "platform/files.h"
#include "platform/headless.h"

namespace fs = std::filesystem;

namespace fuzzsupport {

namespace {

struct Folders {
  fs::path root, config, work;
};

Folders* folders = nullptr;  // set once by Init, lives for the process

void RemoveFolders() {
  if (!folders) return;
  std::error_code ignored;
  fs::current_path("/", ignored);
  fs::remove_all(folders->root, ignored);
}

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) CheckFailed(("cannot write " + path.string()).c_str(), __FILE__, __LINE__);
}

void ShutDownRuntime() { platform::RuntimeExit(); }

}  // namespace

void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", condition, file, line);
  std::fflush(stderr);
  abort();
}

void Init() {
  if (folders) return;
  static Folders made;
  // Every input is written to a file and read back, so a memory-backed folder is preferred.
  std::error_code ignored;
  const fs::path base = fs::is_directory("/dev/shm", ignored) ? fs::path("/dev/shm")
                                                              : fs::temp_directory_path();
  std::string pattern = (base / "palmeno-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) CheckFailed("mkdtemp", __FILE__, __LINE__);
  made.root = pattern;
  made.config = made.root / "config";
  made.work = made.root / "work";
  fs::create_directories(made.config);
  fs::create_directories(made.work);
  folders = &made;
  atexit(RemoveFolders);

  // The resources folder beside a stand-in executable, as the installed layout has it. The
  // headless backend takes any file that begins like a BMP or a WAV.
  for (const char* name : {"Ondella.bmp", "switch_up.bmp", "switch_down.bmp",
                           "power_m_gray.bmp", "power_m_green.bmp"}) {
    WriteText(made.root / "share" / "palmeno" / name, "BM stand-in picture");
  }
  for (const char* name : {"tuned.wav", "amnoise.wav", "fmnoise.wav"}) {
    WriteText(made.root / "share" / "palmeno" / name, "RIFF stand-in sound");
  }
  WriteText(made.root / "bin" / "palmeno", "");
  platform::SetExecutableFileForTesting(made.root / "bin" / "palmeno");

  setenv("XDG_CONFIG_HOME", made.config.c_str(), 1);
  fs::current_path(made.work);

  platform::RuntimeInit();
  tunerWindow::Instance();
  platform::headless::RunUntilIdle();
  QuietBackend();
  // libFuzzer ends the process with exit(); let the windows go while the runtime's own
  // statics still stand.
  atexit(ShutDownRuntime);
}

tunerWindow& MainWindow() {
  const auto window = tunerWindow::Instance();
  FUZZ_CHECK(window != nullptr);
  return *window;
}

const fs::path& WorkDir() { return folders->work; }
const fs::path& ConfigDir() { return folders->config; }

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
