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

  // A reader at the first line, or nullptr when the item cannot be opened as a text file
  // (missing, a folder, no read permission). LastErrorCode() then tells why.
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

// An item for a name relative to the current working directory (or an absolute path).
// The second argument is the path type of the original interface; only 0 is used.
std::shared_ptr<FolderItem> GetFolderItem(std::string_view name, int pathType = 0);

namespace SpecialFolder {
// The user's preferences folder: $XDG_CONFIG_HOME, else ~/.config. Created when missing.
std::shared_ptr<FolderItem> Preferences();
}  // namespace SpecialFolder

// The running executable's own file (from /proc/self/exe unless a test set another).
std::shared_ptr<FolderItem> ExecutableFile();
void SetExecutableFileForTesting(std::filesystem::path path);

// The application's resources folder: the executable's folder's parent, then
// "share/palmeno". Serves the build tree (build/bin, build/share/palmeno) and an installed
// copy (prefix/bin, prefix/share/palmeno) alike. Raises NilObjectException when the
// executable's item or one of its parents is missing.
std::shared_ptr<FolderItem> GetApplicationBundleResources();

// Reads a text file line by line. Lines end in LF or CRLF; the end is not part of the
// line. A line end after the last line does not make one more, empty, line.
class TextInputStream {
 public:
  explicit TextInputStream(String contents);
  // True once every line has been read.
  // (EOF itself is a macro of the C library.)
  bool AtEOF() const { return pos_ >= data_.size(); }
  // The next line without its end; "" past the end of the file.
  String ReadLine();
  void Close();

 private:
  String data_;
  std::size_t pos_ = 0;
};

// Writes a text file so that the old file stays whole until the new one is complete:
// Create makes a temporary file beside the target, WriteLine writes to it, and Close
// flushes it to disk and renames it over the target. A crash, a kill or a failed write
// before Close leaves the old file as it was.
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
