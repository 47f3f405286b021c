#pragma once
// Files: folder items, text streams, and the folders the program knows by role.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

class Picture;
class Sound;
class TextInputStream;

// A place in the file system, whether or not a file is there.
class FolderItem {
 public:
  explicit FolderItem(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& Path() const { return path_; }
  String Name() const { return path_.filename().string(); }

  // An item for `name` inside this folder, whether or not it exists.
  std::shared_ptr<FolderItem> Child(std::string_view name) const;
  // The folder that holds this item; nullptr for the root.
  std::shared_ptr<FolderItem> Parent() const;

  bool Exists() const;
  bool IsFolder() const;

  // A reader at the first line, or nullptr when the item cannot be opened as a text file.
  // LastErrorCode() then tells why: ENOENT when missing, EACCES without read permission,
  // EISDIR for a folder, EINVAL for anything else that is not a plain file (a FIFO, a
  // device, a socket), which is refused without waiting on it or reading from it.
  std::shared_ptr<TextInputStream> OpenAsTextFile() const;
  // A decoded picture, or nullptr when the file is missing or not a picture.
  std::shared_ptr<Picture> OpenAsPicture() const;
  // A sound ready to play, or nullptr when the file is missing or not a sound.
  std::shared_ptr<Sound> OpenAsSound() const;

  // The errno of the last operation on this item that failed, 0 when none did.
  int LastErrorCode() const { return lastError_; }

 private:
  friend class TextOutputStream;
  std::filesystem::path path_;
  mutable int lastError_ = 0;
};

// An item for a name relative to the current working directory (or an absolute path),
// whether or not the file exists. When the working directory has been removed and so has no
// name, the item keeps the relative name: it then names no file. The second argument is the
// path type of the original interface; only 0 is used.
std::shared_ptr<FolderItem> GetFolderItem(std::string_view name, int pathType = 0);

namespace SpecialFolder {
// The user's preferences folder: $XDG_CONFIG_HOME when it is an absolute path, else
// ~/.config (a relative XDG_CONFIG_HOME is ignored, as the XDG base directory rules say).
// Created when missing.
std::shared_ptr<FolderItem> Preferences();
}  // namespace SpecialFolder

// The running executable's own file, as /proc/self/exe named it at the first call (the
// runtime makes that call when it starts), unless a test set another. Kept for the run: once
// the binary is replaced or removed (an upgrade) the link no longer leads to a file.
std::shared_ptr<FolderItem> ExecutableFile();
// Sets the executable's file for a test; an empty path goes back to /proc/self/exe, read
// afresh. Either way the resources folder is worked out again at its next use.
void SetExecutableFileForTesting(std::filesystem::path path);

// The application's resources folder: the executable's folder's parent, then
// "share/palmeno". Serves the build tree (build/bin, build/share/palmeno) and an installed
// copy (prefix/bin, prefix/share/palmeno) alike. Worked out once and fixed for the run.
// Raises NilObjectException when the executable's item or one of its parents is missing.
std::shared_ptr<FolderItem> GetApplicationBundleResources();

// Reads a text file line by line, taking from the file only what the lines asked for need.
// Lines end in LF or CRLF, and a CR that is the file's very last byte ends the last line as
// well; the end is not part of the line. A line end after the last line does not make one
// more, empty, line. A UTF-8 byte-order mark at the start of the file is not part of the
// first line. A read error, or a line longer than kMaxLineBytes, raises IOException from
// AtEOF or ReadLine, where it is met.
class TextInputStream {
 public:
  // One line's longest text: more is no text file a person keeps, and reading on would let
  // a file of one endless line take all memory.
  static constexpr std::size_t kMaxLineBytes = 16u << 20;

  // A reader over text already in memory.
  explicit TextInputStream(String contents);
  // A reader that takes over an open descriptor of a plain file; `name` is for messages.
  TextInputStream(int fd, String name);
  ~TextInputStream();
  TextInputStream(const TextInputStream&) = delete;
  TextInputStream& operator=(const TextInputStream&) = delete;

  // True once every line has been read.
  // (EOF itself is a macro of the C library.)
  bool AtEOF() { return (started_ && begin_ < end_) ? false : AtEOFAfterBuffer(); }
  // The next line without its end; "" past the end of the file.
  String ReadLine();
  // The same without a copy: the view stays valid until the reader is used again. A loop
  // over a long file then makes no new text for each line.
  std::string_view ReadLineView();
  void Close();

 private:
  // AtEOF once the bytes read are used up, or before the first look at the file.
  bool AtEOFAfterBuffer();
  // Reads more of the file after the bytes not yet taken; false at the end of the file.
  bool Fill();
  [[noreturn]] void Fail(const String& what, int err);

  // Uninitialised storage: a read fills it, so it is never cleared first.
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;    // the first byte not yet taken
  std::size_t end_ = 0;      // the end of the bytes read
  std::size_t scanned_ = 0;  // bytes from begin_ known to hold no LF
  int fd_ = -1;
  bool atEnd_ = false;       // everything of the file is in the buffer
  bool started_ = false;     // the byte-order mark has been looked for
  String name_;
};

// Writes a text file so that the old file stays whole until the new one is complete:
// Create makes a temporary file beside the target, WriteLine writes to it, and Close
// flushes it to disk and renames it over the target. A crash, a kill or a failed write
// before Close leaves the old file as it was. A target that is a symbolic link is written
// through: the file it leads to is replaced the same way and the link stays. Temporary
// files that an earlier crash left beside the target are removed by the next Create.
class TextOutputStream {
 public:
  // Raises NilObjectException for a nil item, IOException (with the errno) when the
  // temporary file cannot be made.
  static std::shared_ptr<TextOutputStream> Create(const std::shared_ptr<FolderItem>& item);
  ~TextOutputStream();
  TextOutputStream(const TextOutputStream&) = delete;
  TextOutputStream& operator=(const TextOutputStream&) = delete;

  // Writes the text and a line end (LF). Raises IOException when the write fails.
  void WriteLine(std::string_view text);
  // Completes the file. Raises IOException when it cannot; the old file then stays.
  void Close();

 private:
  // Only Create can make the key, so only Create makes streams.
  struct Key {
    explicit Key() = default;
  };

 public:
  TextOutputStream(Key, std::filesystem::path target, std::filesystem::path temp, int fd);

 private:
  void Fail(const char* what, int err);

  std::filesystem::path target_;
  std::filesystem::path temp_;
  int fd_ = -1;
  int failedError_ = 0;  // the errno of a failed write: Close then fails too
};

}  // namespace platform
