#pragma once
// The preferences file "Palmeno Prefs": six "key=value" lines in a fixed order (window top,
// window left, power, band, needle, region), written when the main window closes and read
// back, by position, when it opens. The keys are never looked at. What the values mean is
// the main window's business (tuner_window.cpp); this file knows where the file lies and
// how its lines are made and taken apart.
//
// Neither the reader nor the writer yields.

#include <memory>
#include <optional>

#include "platform/files.h"
#include "platform/text.h"

// Reads the file's values in order.
class PrefsReader {
 public:
  // The reader of an existing file, or nothing when there is no file yet (the first run).
  // Raises NilObjectException when there is no preferences folder.
  static std::optional<PrefsReader> OpenIfExists();

  // The next line's value: the text between its first "=" and the next one (or the line's
  // end). A file that could not be opened raises NilObjectException here, at the first
  // read; past the file's end the value is "".
  platform::String Next();
  void Close();

 private:
  explicit PrefsReader(std::shared_ptr<platform::TextInputStream> stream)
      : stream_(std::move(stream)) {}
  std::shared_ptr<platform::TextInputStream> stream_;
};

// Writes the file's six values in order, each behind its key. The new file replaces the
// old one only at Close, so a failed write leaves the previous settings whole.
class PrefsWriter {
 public:
  // Creates the file: NilObjectException when there is no preferences folder, IOException
  // when the file cannot be created.
  PrefsWriter();

  // Writes the next line; IOException when the write fails. A seventh value is a
  // programming error (std::logic_error).
  void Next(const platform::String& value);
  void Close();

 private:
  std::shared_ptr<platform::TextOutputStream> stream_;
  int written_ = 0;
};
