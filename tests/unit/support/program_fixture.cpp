#include "support/program_fixture.h"

#include "platform/files.h"
#include "platform/headless/headless.h"

namespace fs = std::filesystem;

namespace testsupport {

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

void ProgramTest::SetUp() { program_.Start(); }

void ProgramTest::TearDown() { program_.Stop(); }

void ProgramTest::Restart() {
  program_.Stop();
  program_.Start();
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
