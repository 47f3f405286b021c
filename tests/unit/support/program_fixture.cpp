#include "support/program_fixture.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "app/media.h"
#include "app/menubar1.h"
#include "platform/application.h"
#include "platform/files.h"
#include "platform/headless.h"
#include "platform/thread.h"

namespace fs = std::filesystem;

namespace testsupport {

const std::vector<std::string>& AllResourceFiles() {
  static const std::vector<std::string> files = {
      "Ondella.bmp", "switch_up.bmp", "switch_down.bmp", "power_m_gray.bmp",
      "power_m_green.bmp", "tuned.wav", "amnoise.wav", "fmnoise.wav"};
  return files;
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "palmeno-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void WriteFile(const fs::path& path, const std::string& contents) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void ExpectProperties(const platform::PropertyTarget& target, const PropertyTable& expected) {
  for (const auto& [name, value] : expected) {
    const platform::PropertyValue* actual = target.GetProperty(name);
    if (!actual) {
      ADD_FAILURE() << "property " << name << " was never given";
    } else if (!(*actual == value)) {
      ADD_FAILURE() << "property " << name << " has another value";
    }
  }
}

void ProgramTest::SetUp() {
  oldCwd_ = fs::current_path();
  if (const char* home = getenv("XDG_CONFIG_HOME")) {
    hadConfigHome_ = true;
    oldConfigHome_ = home;
  }
  setenv("XDG_CONFIG_HOME", ConfigDir().c_str(), 1);
  fs::current_path(WorkDir());

  for (const auto& name : AllResourceFiles()) WriteResource(name);
  WriteFile(root_.Path() / "bin" / "palmeno", "");
  platform::SetExecutableFileForTesting(root_.Path() / "bin" / "palmeno");

  ResetMediaCachesForTesting();
  MenuBar1::ReleaseInstance();
  platform::headless::ClearFaults();
  platform::RuntimeInit();
  platform::headless::ClearLog();
}

void ProgramTest::TearDown() {
  platform::SetYieldObserverForTesting(nullptr);
  platform::RuntimeExit();
  ResetMediaCachesForTesting();
  MenuBar1::ReleaseInstance();
  platform::headless::ClearFaults();
  fs::current_path(oldCwd_);
  if (hadConfigHome_) {
    setenv("XDG_CONFIG_HOME", oldConfigHome_.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

fs::path ProgramTest::ResourcesDir() const { return root_.Path() / "share" / "palmeno"; }

void ProgramTest::WriteResource(const std::string& fileName) {
  const bool picture = fileName.size() > 4 && fileName.ends_with(".bmp");
  WriteFile(ResourcesDir() / fileName, picture ? "BM stand-in picture" : "RIFF stand-in sound");
}

void ProgramTest::RemoveResource(const std::string& fileName) {
  fs::remove(ResourcesDir() / fileName);
}

void ProgramTest::UseBuiltResources() {
  platform::SetExecutableFileForTesting(fs::read_symlink("/proc/self/exe"));
}

void ProgramTest::WriteWorkFile(const std::string& name, const std::string& contents) {
  WriteFile(WorkDir() / name, contents);
}

std::vector<std::string> ProgramTest::Log(const std::string& prefix) {
  return platform::headless::LogWith(prefix);
}

void ProgramTest::ClearLog() { platform::headless::ClearLog(); }

}  // namespace testsupport
