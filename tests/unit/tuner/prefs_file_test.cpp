// The preferences file's reader and writer on their own, apart from the main window.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/program_fixture.h"
#include "tuner/preferences.h"

namespace {

using PrefsFileTest = testsupport::ProgramTest;

TEST_F(PrefsFileTest, WritesSixKeyedLinesAndReadsTheValuesBackByPosition) {
  EXPECT_FALSE(PrefsReader::OpenIfExists().has_value());

  PrefsWriter writer;
  for (const char* value : {"-3", "7", "1", "2", "400", "a=b"}) writer.Next(value);
  EXPECT_THROW(writer.Next("extra"), std::logic_error);
  writer.Close();

  std::ifstream in(PrefsFile(), std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text,
            "windowTop=-3\nwindowLeft=7\nmainPower=1\nbandSwitch=2\ntuneBar=400\n"
            "currentPlace=a=b\n");

  auto reader = PrefsReader::OpenIfExists();
  ASSERT_TRUE(reader.has_value());
  std::vector<std::string> values;
  for (int i = 0; i < 7; ++i) values.push_back(reader->Next());
  reader->Close();
  // The value ends at a second "="; past the end of the file a value is empty.
  EXPECT_EQ(values, (std::vector<std::string>{"-3", "7", "1", "2", "400", "a", ""}));
}

}  // namespace
