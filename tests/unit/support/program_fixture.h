#pragma once
// The common fixture of the program's unit tests. Every case starts with a fresh runtime on
// the headless backend, fresh program caches (pictures, sounds, the shared menu bar), and
// its own temporary folders for the preferences (XDG_CONFIG_HOME), the working directory
// (where "station.txt" is looked up) and the resources folder.
//
// The resources folder is a temporary copy of the installed layout, <tmp>/bin/palmeno
// beside <tmp>/share/palmeno, holding the eight files as small stand-ins that the headless
// backend accepts ("BM..." for a picture, "RIFF..." for a sound). Tests that need a file
// missing or added later use RemoveResource and WriteResource.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/properties.h"

namespace testsupport {

// The eight resource files of the program.
const std::vector<std::string>& AllResourceFiles();

// A folder made fresh under the system's temporary folder and removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Writes a text file (creating its folder), replacing what was there.
void WriteFile(const std::filesystem::path& path, const std::string& contents);

// Expects every property of the table to read back with its value, in any order.
using PropertyTable = std::vector<std::pair<std::string, platform::PropertyValue>>;
void ExpectProperties(const platform::PropertyTarget& target, const PropertyTable& expected);

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The folders of this case.
  const std::filesystem::path& ConfigDir() const { return config_.Path(); }
  const std::filesystem::path& WorkDir() const { return work_.Path(); }
  // <tmp>/share/palmeno, the folder the program's accessors load from.
  std::filesystem::path ResourcesDir() const;

  // Writes a stand-in for one resource file ("switch_up.bmp", "tuned.wav"): a picture for
  // a ".bmp" name, a sound for anything else.
  void WriteResource(const std::string& fileName);
  void RemoveResource(const std::string& fileName);
  // Points the program at the resources that the build copies beside the test binary
  // (build/share/palmeno) instead of the temporary stand-ins.
  void UseBuiltResources();

  // Writes a file into the working directory ("station.txt").
  void WriteWorkFile(const std::string& name, const std::string& contents);
  // The preferences file's place ($XDG_CONFIG_HOME/Palmeno Prefs).
  std::filesystem::path PrefsFile() const { return ConfigDir() / "Palmeno Prefs"; }

  // The headless backend's log entries that begin with a prefix ("sound.", "web.load").
  static std::vector<std::string> Log(const std::string& prefix = "");
  static void ClearLog();

 private:
  TempDir config_, work_, root_;
  std::filesystem::path oldCwd_;
  std::string oldConfigHome_;
  bool hadConfigHome_ = false;
};

}  // namespace testsupport
