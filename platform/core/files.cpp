#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <system_error>

#include "platform/backend.h"
#include "platform/exceptions.h"
#include "platform/media.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

String ErrorText(int err) { return std::strerror(err); }

// Closes a descriptor when it goes out of scope.
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

// Follows `path` while it is a symbolic link; a relative link leads from the link's own
// folder. Returns 0, or the errno that stopped it (ELOOP after too many links).
int ResolveLinks(fs::path& path) {
  for (int links = 0;; ++links) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
    if (links == 40) return ELOOP;
    std::error_code ec;
    fs::path to = fs::read_symlink(path, ec);
    if (ec) return ec.value();
    path = to.is_absolute() ? to : path.parent_path() / to;
  }
}

// Removes the temporary files of earlier writes of one target that never completed (the
// process died before its Close): plain files named `prefix` and six letters or digits, as
// mkstemp makes them.
void RemoveStaleTemporaries(const fs::path& folder, const String& prefix) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) continue;
    const std::string_view suffix = name.substr(prefix.size());
    if (!std::all_of(suffix.begin(), suffix.end(), [](char c) {
          return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        })) {
      continue;
    }
    struct stat st {};
    if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      ::unlinkat(dirFd, entry->d_name, 0);
  }
  ::closedir(dir);
}

}  // namespace

std::shared_ptr<FolderItem> FolderItem::Child(std::string_view name) const {
  return std::make_shared<FolderItem>(path_ / fs::path(name));
}

std::shared_ptr<FolderItem> FolderItem::Parent() const {
  fs::path p = path_;
  if (!p.has_filename() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();
  fs::path parent = p.parent_path();
  if (parent.empty() || parent == p) return nullptr;
  return std::make_shared<FolderItem>(parent);
}

bool FolderItem::Exists() const {
  std::error_code ec;
  return fs::exists(path_, ec);
}

bool FolderItem::IsFolder() const {
  std::error_code ec;
  return fs::is_directory(path_, ec);
}

std::shared_ptr<TextInputStream> FolderItem::OpenAsTextFile() const {
  // Only a plain file is text. A FIFO would block the open (or the first read) until a
  // writer comes, and a device such as /dev/zero never ends: both are refused, looked at
  // first without opening them, then again on what the open gave in case the name was
  // switched meanwhile. O_NONBLOCK keeps that open from waiting.
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) {
    lastError_ = errno;
    return nullptr;
  }
  const auto refuse = [this](const struct stat& s) {
    if (S_ISREG(s.st_mode)) return false;
    lastError_ = S_ISDIR(s.st_mode) ? EISDIR : EINVAL;
    return true;
  };
  if (refuse(st)) return nullptr;
  int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    lastError_ = errno;
    return nullptr;
  }
  FdCloser closer{fd};
  if (::fstat(fd, &st) != 0) {
    lastError_ = errno;
    return nullptr;
  }
  if (refuse(st)) return nullptr;
  // A plain file's reads never wait anyway; the flag goes so that nothing else sees it.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  closer.fd = -1;
  return std::make_shared<TextInputStream>(fd, path_.string());
}

std::shared_ptr<Picture> FolderItem::OpenAsPicture() const {
  if (!Exists()) {
    lastError_ = ENOENT;
    return nullptr;
  }
  return CurrentBackend().OpenPicture(path_);
}

std::shared_ptr<Sound> FolderItem::OpenAsSound() const {
  if (!Exists()) {
    lastError_ = ENOENT;
    // The program only goes on to say that the sound is missing; the file's name and where
    // it comes from are what a user can act on. Told once per file.
    static std::set<fs::path> told;
    if (told.insert(path_).second) {
      const String line =
          "palmeno: the sound file " + path_.string() +
          " is missing; it is installed with Palmeno (cmake --install), so install Palmeno again\n";
      std::fwrite(line.data(), 1, line.size(), stderr);
    }
    return nullptr;
  }
  return CurrentBackend().OpenSound(path_);
}

std::shared_ptr<FolderItem> GetFolderItem(std::string_view name, int pathType) {
  (void)pathType;
  fs::path p(name);
  if (p.is_absolute()) return std::make_shared<FolderItem>(p);
  std::error_code ec;
  fs::path cwd = fs::current_path(ec);
  // A working folder that was removed has no name any more; the relative name still
  // resolves against it, where no file can be.
  if (ec) return std::make_shared<FolderItem>(p);
  return std::make_shared<FolderItem>(cwd / p);
}

namespace SpecialFolder {

std::shared_ptr<FolderItem> Preferences() {
  // Read at every call, so that a change of the environment is seen.
  fs::path folder;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config == '/') {
    folder = config;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return nullptr;
    folder = fs::path(home) / ".config";
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  // A folder that could not be made still gives an item: writing into it then fails with
  // the reason, where the failure can be reported.
  return std::make_shared<FolderItem>(folder);
}

}  // namespace SpecialFolder

namespace {

// The executable's path and the resources folder, each worked out once.
struct ProgramPaths {
  fs::path override;
  fs::path executable;  // empty until read, or when /proc/self/exe could not be read
  bool executableRead = false;
  std::shared_ptr<FolderItem> resources;
};

ProgramPaths& Paths() {
  static ProgramPaths paths;
  return paths;
}

}  // namespace

std::shared_ptr<FolderItem> ExecutableFile() {
  ProgramPaths& paths = Paths();
  if (!paths.override.empty()) return std::make_shared<FolderItem>(paths.override);
  if (!paths.executableRead) {
    paths.executableRead = true;
    std::error_code ec;
    paths.executable = fs::canonical("/proc/self/exe", ec);
    if (ec) paths.executable.clear();
  }
  if (paths.executable.empty()) return nullptr;
  return std::make_shared<FolderItem>(paths.executable);
}

void SetExecutableFileForTesting(fs::path path) {
  ProgramPaths& paths = Paths();
  paths.override = std::move(path);
  paths.executableRead = false;
  paths.resources.reset();
}

std::shared_ptr<FolderItem> GetApplicationBundleResources() {
  ProgramPaths& paths = Paths();
  if (paths.resources) return std::make_shared<FolderItem>(paths.resources->Path());
  auto exe = ExecutableFile();
  if (!exe) throw NilObjectException("the executable's file item is missing (nil object)");
  auto bin = exe->Parent();
  if (!bin) throw NilObjectException("the folder of " + exe->Path().string() + " is missing (nil object)");
  auto prefix = bin->Parent();
  if (!prefix) throw NilObjectException("the folder above " + bin->Path().string() + " is missing (nil object)");
  paths.resources = prefix->Child("share")->Child("palmeno");
  return std::make_shared<FolderItem>(paths.resources->Path());
}

// TextInputStream

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// What one read asks for; the buffer grows past it only for a longer line.
constexpr std::size_t kReadChunk = 64 * 1024;

}  // namespace

TextInputStream::TextInputStream(String contents)
    : buffer_(new char[contents.size()]), capacity_(contents.size()), end_(contents.size()), atEnd_(true) {
  std::copy(contents.begin(), contents.end(), buffer_.get());
}

TextInputStream::TextInputStream(int fd, String name) : fd_(fd), name_(std::move(name)) {}

TextInputStream::~TextInputStream() {
  if (fd_ >= 0) ::close(fd_);
}

void TextInputStream::Fail(const String& what, int err) {
  Close();
  throw IOException(what, err);
}

bool TextInputStream::Fill() {
  if (atEnd_) return false;
  // The bytes not yet taken move to the front; the buffer grows only when they fill most
  // of it, that is for a line longer than a read.
  if (begin_ > 0) {
    std::copy(buffer_.get() + begin_, buffer_.get() + end_, buffer_.get());
    end_ -= begin_;
    begin_ = 0;
  }
  if (capacity_ - end_ < kReadChunk / 2) {
    const std::size_t grown = std::max(kReadChunk, 2 * capacity_);
    std::unique_ptr<char[]> bigger(new char[grown]);
    std::copy(buffer_.get(), buffer_.get() + end_, bigger.get());
    buffer_ = std::move(bigger);
    capacity_ = grown;
  }
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.get() + end_, capacity_ - end_);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      Fail("cannot read " + name_ + ": " + ErrorText(err), err);
    }
    if (got == 0) {
      atEnd_ = true;
      ::close(fd_);
      fd_ = -1;
      return false;
    }
    end_ += static_cast<std::size_t>(got);
    return true;
  }
}

bool TextInputStream::AtEOFAfterBuffer() {
  if (!started_) {
    // The mark is looked for once, in the file's first bytes.
    started_ = true;
    while (end_ < kByteOrderMark.size() && Fill()) {
    }
    if (std::string_view(buffer_.get(), end_).starts_with(kByteOrderMark)) begin_ = kByteOrderMark.size();
  }
  while (begin_ >= end_) {
    if (!Fill()) return true;
  }
  return false;
}

String TextInputStream::ReadLine() { return String(ReadLineView()); }

std::string_view TextInputStream::ReadLineView() {
  if (AtEOF()) return {};
  for (;;) {
    const char* from = buffer_.get() + begin_;
    const std::size_t available = end_ - begin_;
    const void* lf = std::memchr(from + scanned_, '\n', available - scanned_);
    std::size_t length = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - from) : available;
    if (length > kMaxLineBytes) {
      Fail("cannot read " + name_ + ": a line is longer than " + std::to_string(kMaxLineBytes) + " bytes",
           EOVERFLOW);
    }
    if (!lf && !atEnd_) {
      // Read on; the buffer may move, so the line is looked at again from the top.
      scanned_ = length;
      Fill();
      continue;
    }
    // A line ends at its LF, at the end of the file, or at a CR before either.
    const std::size_t next = lf ? length + 1 : length;
    if (length > 0 && from[length - 1] == '\r') --length;
    begin_ += next;
    scanned_ = 0;
    return std::string_view(from, length);
  }
}

void TextInputStream::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  atEnd_ = true;
  started_ = true;
  buffer_.reset();
  capacity_ = begin_ = end_ = scanned_ = 0;
}

// TextOutputStream

std::shared_ptr<TextOutputStream> TextOutputStream::Create(const std::shared_ptr<FolderItem>& item) {
  if (!item) throw NilObjectException("the file item for the text output stream is missing (nil object)");
  fs::path target = item->Path();
  auto fail = [&](int err, const String& what) -> IOException {
    item->lastError_ = err;
    return IOException(what + " " + target.string() + ": " + ErrorText(err), err);
  };
  // A link (as dotfile managers make) is followed to the file it leads to, which is what
  // gets replaced; renaming over the link itself would cut it.
  if (int err = ResolveLinks(target); err != 0) throw fail(err, "cannot follow the link");
  struct stat st {};
  bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) throw fail(EISDIR, "cannot write the file");
  // Only a plain file is replaced: never a device, a FIFO or a socket, which a link may
  // lead to (/dev/zero, say) and which a rename would destroy.
  if (exists && !S_ISREG(st.st_mode)) throw fail(EINVAL, "cannot write what is not a plain file:");

  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  const String tempPrefix = "." + target.filename().string() + ".";
  RemoveStaleTemporaries(folder, tempPrefix);
  String pattern = (folder / (tempPrefix + "XXXXXX")).string();
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) throw fail(errno, "cannot create a temporary file for");

  // mkstemp makes the file private; the finished file gets the mode the old one had, or
  // the usual mode of a new file.
  mode_t mode;
  if (exists) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);
  return std::make_shared<TextOutputStream>(Key{}, target, fs::path(pattern), fd);
}

TextOutputStream::TextOutputStream(Key, fs::path target, fs::path temp, int fd)
    : target_(std::move(target)), temp_(std::move(temp)), fd_(fd) {}

TextOutputStream::~TextOutputStream() {
  if (fd_ < 0) return;
  // Never completed: the old file stays as it was.
  ::close(fd_);
  ::unlink(temp_.c_str());
}

void TextOutputStream::Fail(const char* what, int err) {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(temp_.c_str());
    fd_ = -1;
  }
  failedError_ = err;
  throw IOException(String(what) + " " + target_.string() + ": " + ErrorText(err), err);
}

void TextOutputStream::WriteLine(std::string_view text) {
  if (fd_ < 0) throw IOException("cannot write " + target_.string() + ": the stream is closed", EBADF);
  String line;
  line.reserve(text.size() + 1);
  line.append(text);
  line += '\n';
  std::size_t done = 0;
  while (done < line.size()) {
    ssize_t put = ::write(fd_, line.data() + done, line.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write", errno);
    }
    done += static_cast<std::size_t>(put);
  }
}

void TextOutputStream::Close() {
  if (failedError_ != 0)
    throw IOException("cannot complete " + target_.string() + ": an earlier write failed: " +
                          ErrorText(failedError_), failedError_);
  if (fd_ < 0) return;
  if (::fsync(fd_) != 0) Fail("cannot flush", errno);
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(temp_.c_str());
    throw IOException("cannot close " + target_.string() + ": " + ErrorText(err), err);
  }
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    int err = errno;
    ::unlink(temp_.c_str());
    throw IOException("cannot replace " + target_.string() + ": " + ErrorText(err), err);
  }
  // The rename itself is made durable by flushing the folder that holds the name.
  fs::path folder = target_.parent_path();
  if (folder.empty()) folder = ".";
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  FdCloser closer{dir};
  if (::fsync(dir) != 0 && errno != EINVAL) {
    int err = errno;
    throw IOException("cannot flush the folder of " + target_.string() + ": " + ErrorText(err), err);
  }
}

}  // namespace platform
