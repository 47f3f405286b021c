#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/media.h"
#include "platform/text.h"
#include "runtime_fixture.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

// A fresh folder for one test, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "palmeno-test.XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  fs::path Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
    return path_ / name;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Names in the folder, to see that no temporary file is left.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

std::vector<std::string> ReadAll(TextInputStream& in) {
  std::vector<std::string> lines;
  while (!in.AtEOF()) lines.push_back(in.ReadLine());
  return lines;
}

TEST(TextInputStream, SplitsAtLineEndsAndKeepsTheBytes) {
  using Lines = std::vector<std::string>;
  struct Case {
    std::string contents;
    Lines want;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\nb", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\n\nb\n", {"a", "", "b"}},
      {"\n", {""}},
      {"\n\n", {"", ""}},
      {"a\rb\n", {"a\rb"}},          // a lone CR belongs to the line
      {"a\r", {"a"}},                // a CR that ends the file ends the line, as CRLF does
      {"a\r\r", {"a\r"}},
      {"a\nb\r", {"a", "b"}},
      {"\r", {""}},
      {"東京,TBS,954\n", {"東京,TBS,954"}},
      {std::string("\xff\xfe\0x\n", 5), {std::string("\xff\xfe\0x", 4)}},
      // A UTF-8 byte-order mark opening the file is not text; anywhere else it is.
      {"\xEF\xBB\xBF東京,TBS,954\r\n", {"東京,TBS,954"}},
      {"\xEF\xBB\xBF", {}},
      {"\xEF\xBB\xBF\n", {""}},
      {"\xEF\xBB\xBF\xEF\xBB\xBF" "a", {"\xEF\xBB\xBF" "a"}},
      {"a\n\xEF\xBB\xBF" "b", {"a", "\xEF\xBB\xBF" "b"}},
      {"\xEF\xBB", {"\xEF\xBB"}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    // The same text in memory and in a file.
    TextInputStream memory(c.contents);
    auto file = std::make_shared<FolderItem>(dir.Write("text", c.contents))->OpenAsTextFile();
    ASSERT_NE(file, nullptr);
    for (TextInputStream* in : {&memory, file.get()}) {
      EXPECT_EQ(ReadAll(*in), c.want) << '"' << c.contents << '"';
      EXPECT_EQ(in->ReadLine(), "") << "past the end";
      EXPECT_TRUE(in->AtEOF());
    }
  }
}

TEST(TextInputStream, LinesAcrossTheReadsOfALongFile) {
  // Lines of many lengths, so that line ends, CRLF pairs and the mark-free start meet the
  // boundaries of the reader's reads at many offsets; one line is longer than a read.
  std::string contents;
  std::vector<std::string> want;
  for (int i = 0; i < 3000; ++i) {
    std::string line(static_cast<std::size_t>(i * 37 % 200), static_cast<char>('a' + i % 26));
    if (i == 1500) line.assign(300000, 'x');
    contents += line + (i % 3 ? "\r\n" : "\n");
    want.push_back(line);
  }
  contents += "last\r";
  want.push_back("last");
  TempDir dir;
  auto in = std::make_shared<FolderItem>(dir.Write("long.txt", contents))->OpenAsTextFile();
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(ReadAll(*in), want);
}

TEST(TextInputStream, ALineBeyondTheBoundRaisesWhereItIsMet) {
  TempDir dir;
  const std::size_t bound = TextInputStream::kMaxLineBytes;
  std::string contents = "first\n" + std::string(bound, 'a') + "\n" + std::string(bound + 1, 'b') + "\nlast\n";
  auto in = std::make_shared<FolderItem>(dir.Write("huge.txt", contents))->OpenAsTextFile();
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->ReadLine(), "first");
  EXPECT_EQ(in->ReadLine().size(), bound);
  try {
    in->ReadLine();
    ADD_FAILURE() << "a line of " << bound + 1 << " bytes was read";
  } catch (const IOException& e) {
    EXPECT_EQ(e.ErrorNumber(), EOVERFLOW);
    EXPECT_NE(std::string(e.what()).find("huge.txt"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(in->AtEOF()) << "nothing more is read after the error";
}

TEST(FolderItem, OnlyPlainFilesOpenAsText) {
  // Opening a FIFO with no writer, or reading /dev/zero, would never end; an alarm turns
  // such a hang into a failure.
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", dir.path() / "zero");
  fs::create_symlink(dir.path() / "fifo", dir.path() / "link to fifo");
  ::alarm(20);
  for (const char* name : {"fifo", "zero", "link to fifo"}) {
    FolderItem item(dir.path() / name);
    EXPECT_TRUE(item.Exists()) << name;
    EXPECT_EQ(item.OpenAsTextFile(), nullptr) << name;
    EXPECT_EQ(item.LastErrorCode(), EINVAL) << name;
  }
  ::alarm(0);
  // A link to a plain file is read as that file.
  dir.Write("plain", "x\n");
  fs::create_symlink(dir.path() / "plain", dir.path() / "link to plain");
  auto in = FolderItem(dir.path() / "link to plain").OpenAsTextFile();
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(ReadAll(*in), std::vector<std::string>{"x"});
}

TEST(FolderItem, OpensTextFilesAndSaysWhyNot) {
  TempDir dir;
  dir.Write("station.txt", "東京,TBS,954\r\n東京,J-WAVE,81.3");
  auto folder = std::make_shared<FolderItem>(dir.path());
  auto item = folder->Child("station.txt");
  EXPECT_EQ(item->Path(), dir.path() / "station.txt");
  EXPECT_EQ(item->Name(), "station.txt");
  ASSERT_TRUE(item->Exists());
  auto in = item->OpenAsTextFile();
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(ReadAll(*in), (std::vector<std::string>{"東京,TBS,954", "東京,J-WAVE,81.3"}));
  in->Close();

  auto missing = folder->Child("nothing.txt");
  EXPECT_FALSE(missing->Exists());
  EXPECT_EQ(missing->OpenAsTextFile(), nullptr);
  EXPECT_EQ(missing->LastErrorCode(), ENOENT);
  EXPECT_EQ(folder->OpenAsTextFile(), nullptr);
  EXPECT_EQ(folder->LastErrorCode(), EISDIR);
  if (::geteuid() != 0) {  // root reads anything
    fs::permissions(item->Path(), fs::perms::none);
    EXPECT_EQ(item->OpenAsTextFile(), nullptr);
    EXPECT_EQ(item->LastErrorCode(), EACCES);
  }
}

TEST(FolderItem, ParentsEndAtTheRootAndRelativeNamesUseTheWorkingFolder) {
  FolderItem deep("/usr/bin/palmeno");
  ASSERT_NE(deep.Parent(), nullptr);
  EXPECT_EQ(deep.Parent()->Path(), "/usr/bin");
  EXPECT_EQ(deep.Parent()->Parent()->Parent()->Path(), "/");
  EXPECT_EQ(deep.Parent()->Parent()->Parent()->Parent(), nullptr);
  EXPECT_EQ(FolderItem("/usr/bin/").Parent()->Path(), "/usr");

  TempDir dir;
  fs::path before = fs::current_path();
  fs::current_path(dir.path());
  auto item = GetFolderItem("station.txt", 0);
  fs::current_path(before);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Path(), dir.path() / "station.txt");
  EXPECT_EQ(GetFolderItem("/etc/hostname")->Path(), "/etc/hostname");

  // A working folder that was removed still gives an item, for no file.
  fs::create_directory(dir.path() / "gone");
  fs::current_path(dir.path() / "gone");
  fs::remove(dir.path() / "gone");
  auto lost = GetFolderItem("station.txt", 0);
  fs::current_path(before);
  ASSERT_NE(lost, nullptr);
  EXPECT_FALSE(lost->Exists());
  EXPECT_EQ(lost->OpenAsTextFile(), nullptr);
}

TEST(SpecialFolder, PreferencesFollowTheEnvironmentAtEveryCall) {
  TempDir dir;
  ::setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
  auto prefs = SpecialFolder::Preferences();
  ASSERT_NE(prefs, nullptr);
  EXPECT_EQ(prefs->Path(), dir.path() / "config");
  EXPECT_TRUE(prefs->IsFolder()) << "made when missing";

  ::setenv("XDG_CONFIG_HOME", "", 1);
  ::setenv("HOME", dir.path().c_str(), 1);
  EXPECT_EQ(SpecialFolder::Preferences()->Path(), dir.path() / ".config");
  // A relative path is no base directory and is ignored.
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
  EXPECT_EQ(SpecialFolder::Preferences()->Path(), dir.path() / ".config");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(SpecialFolder::Preferences()->Path(), dir.path() / ".config");
  EXPECT_TRUE(fs::is_directory(dir.path() / ".config"));
}

TEST(Resources, FoundBesideTheExecutablesFolder) {
  SetExecutableFileForTesting("/opt/palmeno/bin/palmeno");
  EXPECT_EQ(GetApplicationBundleResources()->Path(), "/opt/palmeno/share/palmeno");
  SetExecutableFileForTesting("/palmeno");
  EXPECT_THROW(GetApplicationBundleResources(), NilObjectException);
  SetExecutableFileForTesting("");
  auto exe = ExecutableFile();
  ASSERT_NE(exe, nullptr);
  EXPECT_TRUE(exe->Exists());
  EXPECT_EQ(GetApplicationBundleResources()->Path(), exe->Path().parent_path().parent_path() / "share/palmeno");
}

TEST(TextOutputStream, WritesLinesThatReadBackEqual) {
  TempDir dir;
  auto item = std::make_shared<FolderItem>(dir.path() / "Palmeno Prefs");
  auto out = TextOutputStream::Create(item);
  out->WriteLine("windowTop=120");
  out->WriteLine("currentPlace=東京");
  out->WriteLine("");
  out->Close();
  out->Close();  // a second Close does nothing
  EXPECT_EQ(dir.Read("Palmeno Prefs"), "windowTop=120\ncurrentPlace=東京\n\n");
  auto in = item->OpenAsTextFile();
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(ReadAll(*in), (std::vector<std::string>{"windowTop=120", "currentPlace=東京", ""}));
  EXPECT_EQ(NthField(ReadAll(*item->OpenAsTextFile())[1], "=", 2), "東京");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"Palmeno Prefs"});
  EXPECT_THROW(out->WriteLine("late"), IOException);
}

TEST(TextOutputStream, OldFileStaysWholeUntilClose) {
  TempDir dir;
  dir.Write("Palmeno Prefs", "old\n");
  ::chmod((dir.path() / "Palmeno Prefs").c_str(), 0640);
  auto item = std::make_shared<FolderItem>(dir.path() / "Palmeno Prefs");
  {
    auto out = TextOutputStream::Create(item);
    out->WriteLine("new");
    EXPECT_EQ(dir.Read("Palmeno Prefs"), "old\n");
    out->Close();
  }
  EXPECT_EQ(dir.Read("Palmeno Prefs"), "new\n");
  EXPECT_EQ(fs::status(item->Path()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
      << "the replaced file keeps its mode";

  // Destroyed without Close: the old file stays and no temporary file is left.
  {
    auto out = TextOutputStream::Create(item);
    out->WriteLine("half");
  }
  EXPECT_EQ(dir.Read("Palmeno Prefs"), "new\n");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"Palmeno Prefs"});
}

TEST(TextOutputStream, ALinkIsWrittenThroughToItsTarget) {
  TempDir dir;
  fs::create_directories(dir.path() / "dotfiles");
  dir.Write("dotfiles/prefs", "old\n");
  fs::create_symlink("../dotfiles/prefs", dir.path() / "config-prefs");  // relative, as managers make them
  fs::create_directory(dir.path() / "config");
  fs::rename(dir.path() / "config-prefs", dir.path() / "config" / "Palmeno Prefs");
  fs::create_symlink(dir.path() / "dotfiles" / "new", dir.path() / "config" / "dangling");

  for (const char* name : {"Palmeno Prefs", "dangling"}) {
    auto out = TextOutputStream::Create(std::make_shared<FolderItem>(dir.path() / "config" / name));
    out->WriteLine(name);
    out->Close();
    EXPECT_TRUE(fs::is_symlink(dir.path() / "config" / name)) << name << " is still a link";
  }
  EXPECT_EQ(dir.Read("dotfiles/prefs"), "Palmeno Prefs\n");
  EXPECT_EQ(dir.Read("dotfiles/new"), "dangling\n");
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir.path() / "dotfiles")) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"new", "prefs"})) << "no temporary file is left";

  fs::create_symlink("loop", dir.path() / "loop");
  EXPECT_THROW(TextOutputStream::Create(std::make_shared<FolderItem>(dir.path() / "loop")), IOException);

  // A link to what is not a plain file (a FIFO here; /dev/zero in the wild) is never
  // replaced: the write fails and both stay as they were.
  ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
  fs::create_symlink(dir.path() / "fifo", dir.path() / "to fifo");
  try {
    TextOutputStream::Create(std::make_shared<FolderItem>(dir.path() / "to fifo"));
    ADD_FAILURE() << "a FIFO was replaced";
  } catch (const IOException& e) {
    EXPECT_EQ(e.ErrorNumber(), EINVAL);
  }
  EXPECT_TRUE(fs::is_fifo(dir.path() / "fifo"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "to fifo"));
}

TEST(TextOutputStream, TemporariesOfACrashedWriteGoAtTheNextSave) {
  TempDir dir;
  dir.Write(".Palmeno Prefs.Ab3xYz", "windowTop=1\n");    // left by a crash
  dir.Write(".Palmeno Prefs.000000", "");
  dir.Write(".Palmeno Prefs.longer1", "");                  // not a name mkstemp makes
  dir.Write(".Palmeno Prefs.ab-dcd", "");
  dir.Write(".Other.Ab3xYz", "");
  fs::create_directory(dir.path() / ".Palmeno Prefs.folder");
  auto out = TextOutputStream::Create(std::make_shared<FolderItem>(dir.path() / "Palmeno Prefs"));
  out->WriteLine("new");
  out->Close();
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{".Other.Ab3xYz", ".Palmeno Prefs.ab-dcd", ".Palmeno Prefs.folder",
                                                   ".Palmeno Prefs.longer1", "Palmeno Prefs"}));
}

TEST(TextOutputStream, CreateFailuresRaiseWithTheErrorNumber) {
  TempDir dir;
  dir.Write("afile", "x");
  fs::create_directory(dir.path() / "afolder");
  struct Case {
    fs::path target;
    int err;
  } cases[] = {
      {dir.path() / "afile" / "Palmeno Prefs", ENOTDIR},   // the "folder" is a regular file
      {dir.path() / "missing" / "Palmeno Prefs", ENOENT},  // the folder does not exist
      {dir.path() / "afolder", EISDIR},                    // the target is a folder
  };
  for (const Case& c : cases) {
    auto item = std::make_shared<FolderItem>(c.target);
    try {
      TextOutputStream::Create(item);
      ADD_FAILURE() << c.target << " was created";
    } catch (const IOException& e) {
      EXPECT_EQ(e.ErrorNumber(), c.err) << c.target;
      EXPECT_EQ(item->LastErrorCode(), c.err);
      EXPECT_NE(std::string(e.what()).find(c.target.string()), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(std::strerror(c.err)), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(dir.Read("afile"), "x");
  EXPECT_THROW(TextOutputStream::Create(nullptr), NilObjectException);
}

TEST(TextOutputStream, AFailedWriteRaisesAndLeavesTheOldFile) {
  TempDir dir;
  dir.Write("Palmeno Prefs", "old\n");
  auto item = std::make_shared<FolderItem>(dir.path() / "Palmeno Prefs");
  auto out = TextOutputStream::Create(item);
  // A file size limit makes the write fail part way, as a full disk would.
  struct rlimit saved {};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 8;
  ::setrlimit(RLIMIT_FSIZE, &small);
  int err = 0;
  try {
    out->WriteLine("windowTop=120 and more than eight bytes");
  } catch (const IOException& e) {
    err = e.ErrorNumber();
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(err, EFBIG);
  EXPECT_THROW(out->Close(), IOException) << "a failed stream cannot complete";
  EXPECT_EQ(dir.Read("Palmeno Prefs"), "old\n");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"Palmeno Prefs"});
}

using MediaTest = testing::RuntimeTest;

TEST_F(MediaTest, PicturesAndSoundsComeFromTheirFilesHeaders) {
  TempDir dir;
  std::string bmp(54, '\0');
  bmp[0] = 'B', bmp[1] = 'M';
  bmp[18] = 15;                                   // width 15
  bmp[22] = static_cast<char>(0xDE), bmp[23] = static_cast<char>(0xFF),
  bmp[24] = static_cast<char>(0xFF), bmp[25] = static_cast<char>(0xFF);  // height -34, top-down
  dir.Write("switch_up.bmp", bmp);
  dir.Write("broken.bmp", "GIF89a");
  dir.Write("short.bmp", "BM\x10\x00");
  dir.Write("tuned.wav", "RIFF....WAVEfmt ");
  dir.Write("broken.wav", "OggS");
  auto folder = std::make_shared<FolderItem>(dir.path());

  auto pic = folder->Child("switch_up.bmp")->OpenAsPicture();
  ASSERT_NE(pic, nullptr);
  EXPECT_EQ(pic->Width(), 15);
  EXPECT_EQ(pic->Height(), 34);
  EXPECT_NE(folder->Child("switch_up.bmp")->OpenAsPicture(), pic) << "each open gives a new picture";
  EXPECT_EQ(folder->Child("broken.bmp")->OpenAsPicture(), nullptr);
  ASSERT_NE(folder->Child("short.bmp")->OpenAsPicture(), nullptr) << "the signature alone decides";
  EXPECT_EQ(folder->Child("short.bmp")->OpenAsPicture()->Width(), 0);
  EXPECT_EQ(folder->Child("missing.bmp")->OpenAsPicture(), nullptr);

  auto sound = folder->Child("tuned.wav")->OpenAsSound();
  ASSERT_NE(sound, nullptr);
  EXPECT_EQ(sound->Name(), "tuned.wav");
  EXPECT_EQ(folder->Child("broken.wav")->OpenAsSound(), nullptr);
  EXPECT_EQ(folder->Child("missing.wav")->OpenAsSound(), nullptr);

  headless::FailToDecode("tuned.wav");
  EXPECT_EQ(folder->Child("tuned.wav")->OpenAsSound(), nullptr);
  headless::ClearFaults();
  EXPECT_NE(folder->Child("tuned.wav")->OpenAsSound(), nullptr);

  headless::ClearLog();
  sound->PlayLooping();
  EXPECT_TRUE(sound->IsPlaying());
  EXPECT_TRUE(sound->IsLooping());
  sound->Play();
  EXPECT_FALSE(sound->IsLooping());
  sound->Stop();
  sound->Stop();
  EXPECT_FALSE(sound->IsPlaying());
  EXPECT_EQ(headless::LogWith("sound."), (std::vector<std::string>{"sound.loop tuned.wav", "sound.play tuned.wav",
                                                                    "sound.stop tuned.wav", "sound.stop tuned.wav"}));
}

}  // namespace
}  // namespace platform
