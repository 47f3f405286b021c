// The station list and the region menu read from "station.txt", and the region entries.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/headless/headless.h"
#include "platform/thread.h"
#include "support/program_fixture.h"
#include "tuner/tuner_window.h"

namespace {

using testsupport::ProgramTest;

struct MenuEntry {
  std::string text;
  bool checked;
  friend bool operator==(const MenuEntry&, const MenuEntry&) = default;
};

void PrintTo(const MenuEntry& e, std::ostream* os) {
  *os << "{\"" << e.text << "\", " << (e.checked ? "checked" : "unchecked") << "}";
}

class StationListTest : public ProgramTest {
 protected:
  // The main window, built but not yet opened: its list holds only the blank entry.
  std::shared_ptr<tunerWindow> Window() { return tunerWindow::Instance(); }

  std::vector<MenuEntry> Menu() {
    std::vector<MenuEntry> entries;
    auto menu = Window()->placeMenu();
    for (platform::Int32 i = 0; i < menu->Count(); ++i) {
      auto item = menu->Item(i);
      EXPECT_NE(dynamic_cast<placeMenuClass*>(item.get()), nullptr) << "entry " << i;
      EXPECT_TRUE(item->AutoEnable()) << "entry " << i;
      entries.push_back({item->Text(), item->Checked()});
    }
    return entries;
  }

  std::shared_ptr<platform::MenuItem> Entry(platform::Int32 i) {
    return Window()->placeMenu()->Item(i);
  }

  const std::vector<std::string> kBuiltInNames{"TBS", "QRR", "LFR", "INT", "FMT", "FMJ"};
  const std::vector<double> kBuiltInHz{954.0, 1134.0, 1242.0, 76.1, 80.0, 81.3};
};

struct FileCase {
  const char* name;
  std::string file;
  std::string requested;
  std::vector<MenuEntry> menu;
  std::vector<std::string> names;  // from index 1 on; index 0 stays the blank entry
  std::vector<double> hz;
  std::string place;  // currentPlace afterwards ("untouched" when the read sets none)
};

TEST_F(StationListTest, ReadsTheRequestedRegionAndOneEntryPerRun) {
  const std::vector<FileCase> cases = {
      {"runs A A B A",
       "A,a1,954\nA,a2,1134\nB,b1,80\nA,a3,76.1\n",
       "A",
       {{"A", true}, {"B", false}, {"A", true}},
       {"a1", "a2", "a3"},
       {954.0, 1134.0, 76.1},
       "A"},
      {"empty file", "", "A", {}, {}, {}, "untouched"},
      {"requested region absent",
       "B,b,1\nC,c,2\n",
       "A",
       {{"B", false}, {"C", false}},
       {},
       {},
       "untouched"},
      {"empty region at the start makes no entry",
       ",x,1\n\nA,a,954\n",
       "A",
       {{"A", true}},
       {"a"},
       {954.0},
       "A"},
      {"empty request means 東京; empty region after a named one",
       "東京,T,954\nA,a,1\n,x,2\n",
       "",
       {{"東京", true}, {"A", false}, {"", false}},
       {"T"},
       {954.0},
       "東京"},
      {"one, two and four fields",
       "R\nR,c2\nR,c4,954,rest\nR,c5,76.1MHz\nR,c6,abc\n",
       "R",
       {{"R", true}},
       {"", "c2", "c4", "c5", "c6"},
       {0.0, 0.0, 954.0, 76.1, 0.0},
       "R"},
      {"blanks belong to the fields",
       "R, c,1\n R,d,2\nR,c,3\n",
       "R",
       {{"R", true}, {" R", false}, {"R", true}},
       {" c", "c"},
       {1.0, 3.0},
       "R"},
      {"LF line ends",
       "東京,A,1\n東京,B,2\n",
       "東京",
       {{"東京", true}},
       {"A", "B"},
       {1, 2},
       "東京"},
      {"CRLF line ends",
       "東京,A,1\r\n東京,B,2\r\n",
       "東京",
       {{"東京", true}},
       {"A", "B"},
       {1, 2},
       "東京"},
      {"CRLF without a last LF",
       "東京,A,1\r\nB,b,2\r",
       "B",
       {{"東京", false}, {"B", true}},
       {"b"},
       {2},
       "B"},
      {"a byte-order mark before the first region",
       "\xEF\xBB\xBF東京,A,1\n東京,B,2\n",
       "",
       {{"東京", true}},
       {"A", "B"},
       {1, 2},
       "東京"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto w = Window();
    w->stationName = {""};
    w->stationHz = {0.0};
    w->currentPlace = "untouched";
    // A leftover entry from an earlier read must go.
    WriteWorkFile("station.txt", "old,o,1\n");
    w->readStation("old");
    ASSERT_EQ(Menu().size(), 1u);
    w->currentPlace = "untouched";
    w->stationName.resize(1);
    w->stationHz.resize(1);

    WriteWorkFile("station.txt", c.file);
    w->readStation(c.requested);

    EXPECT_EQ(Menu(), c.menu);
    std::vector<std::string> names{""};
    names.insert(names.end(), c.names.begin(), c.names.end());
    std::vector<double> hz{0.0};
    hz.insert(hz.end(), c.hz.begin(), c.hz.end());
    EXPECT_EQ(w->stationName, names);
    EXPECT_EQ(w->stationHz, hz);
    EXPECT_EQ(w->currentPlace, c.place);
  }
}

TEST_F(StationListTest, WithoutTheFileTheBuiltInListIsUsedAndTheMenuStaysEmpty) {
  auto w = Window();
  testsupport::Settle();  // the Open event reads the (missing) file

  EXPECT_EQ(w->stationName, kBuiltInNames);
  EXPECT_EQ(w->stationHz, kBuiltInHz);
  EXPECT_EQ(w->placeMenu()->Count(), 0);
  EXPECT_EQ(w->currentPlace, "東京");

  // Created later, the file is not read until a region entry is chosen, and there is none.
  WriteWorkFile("station.txt", "東京,X,1\n");
  testsupport::Settle();
  EXPECT_EQ(w->stationName, kBuiltInNames);
  EXPECT_EQ(w->placeMenu()->Count(), 0);
}

TEST_F(StationListTest, FileRemovedThenRestoredWhileRunning) {
  WriteWorkFile("station.txt", "東京,T1,1000\nA,a1,1100\n");
  auto w = Window();
  testsupport::Settle();
  ASSERT_EQ(Menu(), (std::vector<MenuEntry>{{"東京", true}, {"A", false}}));
  ASSERT_EQ(w->stationName, (std::vector<std::string>{"", "T1"}));

  // Removed: choosing an entry loads the built-in list and leaves the menu, its check mark
  // and the region alone.
  std::filesystem::remove(WorkDir() / "station.txt");
  platform::headless::ChooseMenu(*Entry(1));
  testsupport::Settle();
  EXPECT_EQ(w->stationName, kBuiltInNames);
  EXPECT_EQ(w->stationHz, kBuiltInHz);
  EXPECT_EQ(Menu(), (std::vector<MenuEntry>{{"東京", true}, {"A", false}}));
  EXPECT_EQ(w->currentPlace, "東京");

  // Restored: index 0 keeps the built-in "TBS", which the AM dial finds at 190.
  WriteWorkFile("station.txt", "東京,T1,1000\nA,a1,1100\n");
  w->tuneBar()->SetX1(190);
  w->tuneBar()->SetX2(190);
  platform::headless::ClearLog();
  platform::headless::ChooseMenu(*Entry(1));
  testsupport::Settle();
  EXPECT_EQ(w->stationName, (std::vector<std::string>{"TBS", "a1"}));
  EXPECT_EQ(w->stationHz, (std::vector<double>{954.0, 1100.0}));
  EXPECT_EQ(Menu(), (std::vector<MenuEntry>{{"東京", false}, {"A", true}}));
  EXPECT_EQ(w->currentPlace, "A");
  const auto loads = platform::headless::LogWith("web.load");
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_TRUE(loads[0].ends_with("#TBS")) << loads[0];
}

TEST_F(StationListTest, ChoosingAnEntryReloadsAndStartsOnePass) {
  WriteWorkFile("station.txt", "A,a1,1\nB,b1,2\nB,b2,3\n");
  auto w = Window();
  testsupport::Settle();
  const auto before = w->tuneStationThread()->RunsCompleted();

  auto entry = Entry(1);
  EXPECT_TRUE(entry->Event_Action());
  testsupport::Settle();

  EXPECT_EQ(w->tuneStationThread()->RunsCompleted(), before + 1);
  EXPECT_EQ(w->stationName, (std::vector<std::string>{"", "b1", "b2"}));
  EXPECT_EQ(w->currentPlace, "B");
  // The chosen entry was replaced by a new one of the same text.
  EXPECT_EQ(Menu(), (std::vector<MenuEntry>{{"A", false}, {"B", true}}));
}

TEST_F(StationListTest, AStationFileThatCannotBeReadRaisesAfterEmptyingAndStartsNoPass) {
  // A FIFO would block the open, /dev/zero would be read until memory runs out: both are
  // refused like a folder.
  namespace fs = std::filesystem;
  const fs::path file = WorkDir() / "station.txt";
  const std::vector<std::pair<const char*, std::function<void()>>> kinds = {
      {"a folder", [&] { fs::create_directory(file); }},
      {"a FIFO", [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }},
      {"/dev/zero through a link", [&] { fs::create_symlink("/dev/zero", file); }},
  };
  auto w = Window();
  for (const auto& [name, make] : kinds) {
    SCOPED_TRACE(name);
    fs::remove_all(file);
    WriteWorkFile("station.txt", "A,a1,1\nB,b1,2\n");
    w->readStation("");
    testsupport::Settle();
    const auto before = w->tuneStationThread()->RunsCompleted();
    ASSERT_EQ(w->placeMenu()->Count(), 2);

    fs::remove(file);
    make();
    auto entry = Entry(1);
    EXPECT_THROW(entry->Event_Action(), platform::NilObjectException);
    testsupport::Settle();

    EXPECT_EQ(w->tuneStationThread()->RunsCompleted(), before);
    EXPECT_EQ(w->stationName, std::vector<std::string>{""});
    EXPECT_EQ(w->stationHz, std::vector<double>{0.0});
    EXPECT_EQ(w->placeMenu()->Count(), 0);
    EXPECT_EQ(w->currentPlace, "東京");
  }
}

TEST_F(StationListTest, AWorkingFolderThatIsGoneMeansTheBuiltInList) {
  const auto gone = WorkDir() / "gone";
  std::filesystem::create_directory(gone);
  std::filesystem::current_path(gone);
  std::filesystem::remove(gone);

  auto w = Window();
  testsupport::Settle();  // the Open event reads the station file

  EXPECT_EQ(w->stationName, kBuiltInNames);
  EXPECT_EQ(w->stationHz, kBuiltInHz);
  EXPECT_EQ(w->placeMenu()->Count(), 0);
  EXPECT_TRUE(w->noise) << "the Open event went on to the noise";
  EXPECT_TRUE(w->noise->IsPlaying());
}

TEST_F(StationListTest, BothListsHaveTheSameSizeAtEveryYieldWhileAPassRuns) {
  // A long region whose stations never match, so the pass yields after each of them.
  std::string file;
  for (int i = 0; i < 300; ++i) file += "東京,S" + std::to_string(i) + ",1\n";
  for (int i = 0; i < 50; ++i) file += "R" + std::to_string(i) + ",x,2\n";
  WriteWorkFile("station.txt", file);
  auto w = Window();
  testsupport::Settle();
  ASSERT_EQ(w->stationName.size(), 301u);

  int yields = 0, passYields = 0;
  platform::SetYieldObserverForTesting([&](bool onFiber) {
    ++yields;
    if (onFiber) ++passYields;
    ASSERT_EQ(w->stationName.size(), w->stationHz.size()) << "at yield " << yields;
  });
  w->tuneStationThread()->Run();
  w->readStation("東京");
  testsupport::Settle();
  platform::SetYieldObserverForTesting(nullptr);

  EXPECT_EQ(w->stationName.size(), 301u);
  EXPECT_EQ(w->placeMenu()->Count(), 51);
  EXPECT_GT(passYields, 0);
}

TEST_F(StationListTest, AHundredThousandLinesLoad) {
  // Every line its own run, so the menu grows to one entry per line and is emptied again.
  std::string file;
  for (int i = 0; i < 100'000; ++i) file += (i % 2 ? "A,a,1\n" : "B,b,2\n");
  WriteWorkFile("station.txt", file);
  auto w = Window();
  w->readStation("A");
  w->readStation("A");
  EXPECT_EQ(w->placeMenu()->Count(), 100'000);
  EXPECT_EQ(w->stationName.size(), 50'001u);
  EXPECT_EQ(w->stationHz.size(), 50'001u);
}

}  // namespace
