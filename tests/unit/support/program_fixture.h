#pragma once
// The common fixture of the program's unit tests. Every case starts with a fresh runtime on
// the headless backend, fresh program caches (pictures, sounds, the shared menu bar), and
// folders of its own for the preferences (XDG_CONFIG_HOME), the working directory (where
// "station.txt" is looked up) and the resources: the shared headless program harness
// (tests/support/headless_program.h), whose stand-in resources the headless backend accepts.
// Tests that need a file missing or added later use RemoveResource and WriteResource.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/properties.h"
#include "support/settle.h"
#include "tests/support/headless_program.h"

namespace testsupport {

// Expects every property of the table to read back with its value, in any order.
using PropertyTable = std::vector<std::pair<std::string, platform::PropertyValue>>;
void ExpectProperties(const platform::PropertyTarget& target, const PropertyTable& expected);

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new run of the program in the same folders: the program's exit steps, then a fresh
  // runtime and caches.
  void Restart();

  // The folders of this case.
  std::filesystem::path ConfigDir() const { return program_.ConfigDir(); }
  std::filesystem::path WorkDir() const { return program_.WorkDir(); }
  // <tmp>/share/palmeno, the folder the program's accessors load from.
  std::filesystem::path ResourcesDir() const { return program_.ResourcesDir(); }

  // Writes a stand-in for one resource file ("switch_up.bmp", "tuned.wav"): a picture for
  // a ".bmp" name, a sound for anything else.
  void WriteResource(const std::string& fileName) { program_.WriteResource(fileName); }
  void RemoveResource(const std::string& fileName) { program_.RemoveResource(fileName); }
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
  HeadlessProgram program_;
};

}  // namespace testsupport
