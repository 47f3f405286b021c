#pragma once
// What the fuzz targets share: one program on the headless backend (the shared harness's
// folders for the preferences, the working directory and the resources) with one main
// window per process, and a check that stops the run loudly so that libFuzzer keeps the
// input.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tuner/tuner_window.h"

// Aborts with the failed condition, so libFuzzer records the input as a finding.
#define FUZZ_CHECK(cond)                                                \
  do {                                                                  \
    if (!(cond)) fuzzsupport::CheckFailed(#cond, __FILE__, __LINE__);   \
  } while (0)

namespace fuzzsupport {

[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);

// Makes the folders (in memory where /dev/shm exists), points the program at them, starts
// the runtime, builds the main window and lets its Open event run (first-run defaults).
// Safe to call more than once.
void Init();

tunerWindow& MainWindow();
// The working directory, where "station.txt" is looked up.
std::filesystem::path WorkDir();
// The preferences folder, where "Palmeno Prefs" lives.
std::filesystem::path ConfigDir();

// Replaces a file with the bytes; a folder of that name is removed first.
void WriteBytes(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size);
// Removes a file or a folder tree.
void RemovePath(const std::filesystem::path& path);

// The lines of a file as the platform's text reader gives them.
std::vector<std::string> LinesOf(std::string_view contents);

// A cheap, stable mix of the input, for choices that should follow the bytes.
std::uint32_t Mix(const std::uint8_t* data, std::size_t size);

// Stops any sound that plays and empties the headless log, so state and memory stay bounded.
void QuietBackend();

}  // namespace fuzzsupport
