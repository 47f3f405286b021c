// The preferences file: written when the main window closes, read when it opens.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/media.h"
#include "app/menubar1.h"
#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/headless/headless.h"
#include "platform/thread.h"
#include "support/program_fixture.h"
#include "tuner/tuner_window.h"

namespace {

namespace headless = platform::headless;
namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class PreferencesTest : public testsupport::ProgramTest {
 protected:
  // Builds the main window and lets its Open event, and any pass it starts, run.
  std::shared_ptr<tunerWindow> Open() {
    auto w = tunerWindow::Instance();
    testsupport::Settle();
    return w;
  }

  void WritePrefs(const std::string& contents) { testsupport::WriteFile(PrefsFile(), contents); }
};

struct Settings {
  platform::Int32 top, left;
  bool powerOn, am;
  platform::Int32 needle;
  std::string place;
};

TEST_F(PreferencesTest, SettingsComeBackAsTheyWereWritten) {
  const std::vector<Settings> cases = {
      {100, 50, true, false, 200, "東京"},
      {-30, -2000, false, true, 20, "A"},
      {0, 7, true, true, 400, ""},
      {5, 6, false, false, 326, "x y"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.place + (c.powerOn ? " on" : " off") + (c.am ? " AM" : " FM"));
    auto w = Open();
    w->SetTop(c.top);
    w->SetLeft(c.left);
    w->mainPower()->SetBackdrop(c.powerOn ? power_m_green() : power_m_gray());
    w->bandSwitch()->SetBackdrop(c.am ? switch_up() : switch_down());
    w->tuneBar()->SetX1(c.needle);
    w->currentPlace = c.place;
    headless::CloseWindow(*w);

    EXPECT_TRUE(platform::Quitting());
    EXPECT_EQ(ReadAll(PrefsFile()),
              "windowTop=" + std::to_string(c.top) + "\nwindowLeft=" + std::to_string(c.left) +
                  "\nmainPower=" + (c.powerOn ? "1" : "2") + "\nbandSwitch=" + (c.am ? "1" : "2") +
                  "\ntuneBar=" + std::to_string(c.needle) + "\ncurrentPlace=" + c.place + "\n");

    Restart();
    w = Open();
    EXPECT_EQ(w->Top(), c.top);
    EXPECT_EQ(w->Left(), c.left);
    EXPECT_EQ(w->mainPower()->Backdrop(), c.powerOn ? power_m_green() : power_m_gray());
    EXPECT_EQ(w->bandSwitch()->Backdrop(), c.am ? switch_up() : switch_down());
    EXPECT_EQ(w->noise, c.am ? amnoise() : fmnoise());
    const std::string loop = std::string("sound.loop ") + (c.am ? "amnoise.wav" : "fmnoise.wav");
    EXPECT_EQ(headless::LogWith("sound.loop"),
              c.powerOn ? std::vector<std::string>{loop} : std::vector<std::string>{});
    EXPECT_EQ(w->tuneBar()->X1(), c.needle);
    EXPECT_EQ(w->tuneBar()->X2(), c.needle);
    EXPECT_EQ(w->currentPlace, c.place);
    EXPECT_EQ(w->stationName.size(), 6u);  // the built-in list, there being no station file
    EXPECT_FALSE(w->tuning);
    EXPECT_EQ(w->tuneStationThread()->RunsCompleted(), 1u);
    Restart();
  }
}

TEST_F(PreferencesTest, LinesAreReadByPosition) {
  constexpr auto kMax = std::numeric_limits<platform::Int32>::max();
  struct Case {
    const char* name;
    std::string file;
    Settings expected;
  };
  const std::vector<Case> cases = {
      {"keys are not looked at",
       "a=10\nb=20\nc=1\nd=1\ne=150\nf=X\n",
       {10, 20, true, true, 150, "X"}},
      {"values that are not numbers",
       "t=abc\nl=\nmainPower=1\nbandSwitch=1\ntuneBar=x5\np=Y\n",
       {0, 0, true, true, 0, "Y"}},
      {"leading numbers and large values",
       "t=12px\nl=-7.9\nm=1\nb=1\nn=99999999999\np=Y\n",
       {12, -7, true, true, kMax, "Y"}},
      {"switch value 2", "t=1\nl=1\nm=2\nb=2\nn=1\np=Y\n", {1, 1, false, false, 1, "Y"}},
      {"switch value 0", "t=1\nl=1\nm=0\nb=0\nn=1\np=Y\n", {1, 1, false, false, 1, "Y"}},
      {"switch value 11", "t=1\nl=1\nm=11\nb=11\nn=1\np=Y\n", {1, 1, false, false, 1, "Y"}},
      {"switch value on", "t=1\nl=1\nm=on\nb=on\nn=1\np=Y\n", {1, 1, false, false, 1, "Y"}},
      {"switch value empty", "t=1\nl=1\nm=\nb=\nn=1\np=Y\n", {1, 1, false, false, 1, "Y"}},
      {"switch value with a blank",
       "t=1\nl=1\nm= 1\nb=1 \nn=1\np=Y\n",
       {1, 1, false, false, 1, "Y"}},
      {"a second = cuts the value",
       "t=1\nl=1\nm=1=x\nb=1\nn=200=5\np=a=b\n",
       {1, 1, true, true, 200, "a"}},
      {"lines without =", "10\n20\n1\n1\n150\nX\n", {0, 0, false, false, 0, ""}},
      {"a short file", "windowTop=5\nwindowLeft=6\n", {5, 6, false, false, 0, ""}},
      {"an empty file", "", {0, 0, false, false, 0, ""}},
      {"a long file", "t=1\nl=2\nm=1\nb=2\nn=3\np=R\nq=9\nr=8\n", {1, 2, true, false, 3, "R"}},
      {"CRLF line ends", "t=1\r\nl=2\r\nm=1\r\nb=1\r\nn=3\r\np=R\r\n", {1, 2, true, true, 3, "R"}},
      {"CRLF without a last LF", "t=1\r\nl=2\r\nm=1\r\nb=1\r\nn=3\r\np=東京\r", {1, 2, true, true, 3, "東京"}},
      {"a byte-order mark", "\xEF\xBB\xBF" "7\nl=2\nm=1\nb=1\nn=3\np=R\n", {0, 2, true, true, 3, "R"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WritePrefs(c.file);
    auto w = Open();
    const auto& e = c.expected;
    EXPECT_EQ(w->Top(), e.top);
    EXPECT_EQ(w->Left(), e.left);
    EXPECT_EQ(w->mainPower()->Backdrop(), e.powerOn ? power_m_green() : power_m_gray());
    EXPECT_EQ(w->bandSwitch()->Backdrop(), e.am ? switch_up() : switch_down());
    EXPECT_EQ(w->noise, e.am ? amnoise() : fmnoise());
    EXPECT_EQ(w->tuneBar()->X1(), e.needle);
    EXPECT_EQ(w->tuneBar()->X2(), e.needle);
    EXPECT_EQ(w->currentPlace, e.place);
    EXPECT_EQ(w->tuneStationThread()->RunsCompleted(), 1u);
    Restart();
  }
}

TEST_F(PreferencesTest, TheRestoredRegionIsLookedUpInTheStationFile) {
  WriteWorkFile("station.txt", "東京,T,954\nA,a,1134\n");
  struct Case {
    std::string saved;
    std::string place;
    std::vector<std::string> names;
    std::vector<bool> checked;
  };
  const std::vector<Case> cases = {
      {"A", "A", {"", "a"}, {false, true}},
      {"Z", "Z", {""}, {false, false}},
      {"", "東京", {"", "T"}, {true, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.saved);
    WritePrefs("t=1\nl=1\nm=1\nb=1\nn=110\np=" + c.saved + "\n");
    auto w = Open();
    EXPECT_EQ(w->currentPlace, c.place);
    EXPECT_EQ(w->stationName, c.names);
    ASSERT_EQ(w->placeMenu()->Count(), 2);
    EXPECT_EQ(w->placeMenu()->Item(0)->Checked(), c.checked[0]);
    EXPECT_EQ(w->placeMenu()->Item(1)->Checked(), c.checked[1]);
    Restart();
  }
}

TEST_F(PreferencesTest, FirstRunDefaultsAndTheirClose) {
  auto w = Open();
  EXPECT_EQ(w->mainPower()->Backdrop(), power_m_green());
  EXPECT_EQ(w->bandSwitch()->Backdrop(), switch_up());
  EXPECT_EQ(w->currentPlace, "東京");
  EXPECT_EQ(w->noise, amnoise());
  EXPECT_EQ(headless::LogWith("sound."), std::vector<std::string>{"sound.loop amnoise.wav"});
  EXPECT_EQ(w->tuneBar()->X1(), 110);
  EXPECT_EQ(w->tuneBar()->X2(), 110);
  EXPECT_EQ(w->stationName.size(), 6u);
  EXPECT_EQ(w->tuneStationThread()->RunsCompleted(), 0u);
  EXPECT_FALSE(fs::exists(PrefsFile()));

  w->SetTop(3);
  w->SetLeft(4);
  headless::CloseWindow(*w);
  EXPECT_EQ(ReadAll(PrefsFile()),
            "windowTop=3\nwindowLeft=4\nmainPower=1\nbandSwitch=1\ntuneBar=110\n"
            "currentPlace=東京\n");
}

TEST_F(PreferencesTest, AMissingNoiseStopsTheOpenWhereItIsStarted) {
  struct Case {
    const char* name;
    std::string prefs;  // "" for no file
    platform::Int32 top;
    std::string place;
  };
  const std::vector<Case> cases = {
      // The switches, the region and the station list are set by then; the needle is not.
      {"first run", "", 0, "東京"},  // the position stays as built
      // The position and the switches are applied; needle, region and pass are skipped.
      {"restoring", "t=40\nl=1\nm=1\nb=1\nn=200\np=R\n", 40, "東京"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(PrefsFile());
    if (!c.prefs.empty()) WritePrefs(c.prefs);
    headless::FailToDecode("amnoise.wav");
    auto w = tunerWindow::Instance();
    const platform::Int32 builtTop = w->Top();
    testsupport::Settle();
    EXPECT_EQ(w->Top(), c.prefs.empty() ? builtTop : c.top);
    EXPECT_EQ(w->mainPower()->Backdrop(), power_m_green());
    EXPECT_EQ(w->bandSwitch()->Backdrop(), switch_up());
    EXPECT_EQ(w->noise, nullptr);
    EXPECT_EQ(w->tuneBar()->X1(), 105);
    EXPECT_EQ(w->currentPlace, c.place);
    EXPECT_EQ(w->stationName.size(), c.prefs.empty() ? 6u : 1u);
    EXPECT_EQ(w->tuneStationThread()->RunsCompleted(), 0u);
    headless::ClearFaults();
    Restart();
  }
}

TEST_F(PreferencesTest, AFileThatCannotBeOpenedAppliesNothing) {
  // A FIFO or a device would block the open or never end: each is refused like a folder.
  const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> kinds = {
      {"a folder", [](const fs::path& p) { fs::create_directory(p); }},
      {"a FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
      {"/dev/zero through a link", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }},
  };
  for (const auto& [name, make] : kinds) {
    SCOPED_TRACE(name);
    fs::remove_all(PrefsFile());
    make(PrefsFile());
    testing::internal::CaptureStderr();
    auto w = Open();
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_EQ(w->mainPower()->Backdrop(), power_m_green());  // as built
    EXPECT_EQ(w->tuneBar()->X1(), 105);
    EXPECT_EQ(w->noise, nullptr);
    EXPECT_EQ(w->stationName.size(), 1u);
    EXPECT_EQ(w->tuneStationThread()->RunsCompleted(), 0u);
    EXPECT_EQ(Count(report, "NilObjectException"), 1u) << report;
    Restart();
  }
}

TEST_F(PreferencesTest, AFailedWriteKeepsTheOldFileAndDoesNotQuit) {
  const std::string old =
      "windowTop=1\nwindowLeft=2\nmainPower=2\nbandSwitch=2\ntuneBar=300\n"
      "currentPlace=old region\n";
  WritePrefs(old);
  auto w = Open();
  w->currentPlace = std::string(200, 'x');

  // The file system refuses to grow any file beyond a few bytes.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 16;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(w->Event_Close(), platform::IOException);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(platform::Quitting());
  EXPECT_EQ(ReadAll(PrefsFile()), old);
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(ConfigDir())) files.push_back(entry.path());
  EXPECT_EQ(files, std::vector<fs::path>{PrefsFile()}) << "a temporary file was left behind";
}

TEST_F(PreferencesTest, APreferencesFolderThatIsAFileFailsTheWrite) {
  auto w = Open();
  const fs::path occupied = ConfigDir() / "occupied";
  testsupport::WriteFile(occupied, "not a folder");
  setenv("XDG_CONFIG_HOME", occupied.c_str(), 1);

  EXPECT_THROW(w->Event_Close(), platform::IOException);
  EXPECT_FALSE(platform::Quitting());
  EXPECT_EQ(ReadAll(occupied), "not a folder");
}

}  // namespace
