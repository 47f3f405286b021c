#include "tests/support/headless_program.h"

#include <stdlib.h>

#include <cerrno>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "app/app.h"
#include "app/media.h"
#include "app/menubar1.h"
#include "platform/application.h"
#include "platform/files.h"
#include "platform/headless/headless.h"
#include "platform/thread.h"

namespace fs = std::filesystem;

namespace testsupport {
namespace {

// Forgets what an earlier run left in the program's caches and the backend's faults.
void FreshCaches() {
  ResetMediaCachesForTesting();
  MenuBar1::ReleaseInstance();
  platform::headless::ClearFaults();
}

}  // namespace

const std::vector<std::string>& AllResourceFiles() {
  static const std::vector<std::string> files = {
      "Ondella.bmp", "switch_up.bmp", "switch_down.bmp", "power_m_gray.bmp",
      "power_m_green.bmp", "tuned.wav", "amnoise.wav", "fmnoise.wav"};
  return files;
}

void WriteFile(const fs::path& path, const std::string& contents) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

HeadlessProgram::HeadlessProgram(const fs::path& base) {
  std::string pattern =
      ((base.empty() ? fs::temp_directory_path() : base) / "palmeno-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  }
  root_ = pattern;
  oldCwd_ = fs::current_path();
  if (const char* home = getenv("XDG_CONFIG_HOME")) oldConfigHome_ = home;

  for (const auto& name : AllResourceFiles()) WriteResource(name);
  WriteFile(ExecutableFile(), "");
  fs::create_directories(ConfigDir());
  fs::create_directories(WorkDir());
  platform::SetExecutableFileForTesting(ExecutableFile());
  setenv("XDG_CONFIG_HOME", ConfigDir().c_str(), 1);
  fs::current_path(WorkDir());
}

HeadlessProgram::~HeadlessProgram() {
  Stop();
  std::error_code ignored;
  fs::current_path(oldCwd_, ignored);
  if (oldConfigHome_) {
    setenv("XDG_CONFIG_HOME", oldConfigHome_->c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  fs::remove_all(root_, ignored);
}

void HeadlessProgram::Start() {
  FreshCaches();
  platform::RuntimeInit();
  started_ = true;
  platform::headless::ClearLog();
}

int HeadlessProgram::Stop() {
  if (!started_) return 0;
  started_ = false;
  platform::SetYieldObserverForTesting(nullptr);
  const int status = AppExit();
  FreshCaches();
  return status;
}

void HeadlessProgram::WriteResource(const std::string& fileName) const {
  const bool picture = fileName.size() > 4 && fileName.ends_with(".bmp");
  WriteFile(ResourcesDir() / fileName, picture ? "BM stand-in picture" : "RIFF stand-in sound");
}

void HeadlessProgram::RemoveResource(const std::string& fileName) const {
  fs::remove(ResourcesDir() / fileName);
}

}  // namespace testsupport
