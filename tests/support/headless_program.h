#pragma once
// The program on the headless backend, in folders of its own: the one set-up that the unit
// tests, the benchmarks and the fuzz targets share.
//
// Everything lives below one temporary root, laid out as an installed copy:
//   <root>/bin/palmeno      a stand-in executable, from which the resources folder is found
//   <root>/share/palmeno    the eight resource files as small stand-ins that the headless
//                           backend accepts ("BM..." for a picture, "RIFF..." for a sound)
//   <root>/config           XDG_CONFIG_HOME, where "Palmeno Prefs" lives
//   <root>/work             the working directory, where "station.txt" is looked up
//
// Start brings the runtime up with fresh program caches (pictures, sounds, the shared menu
// bar); Stop runs the program's own exit steps (AppExit). The destructor stops a started
// program, gives back the working directory and XDG_CONFIG_HOME, and removes the root.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// The eight resource files of the program.
const std::vector<std::string>& AllResourceFiles();

// Writes a file (creating its folder), replacing what was there.
void WriteFile(const std::filesystem::path& path, const std::string& contents);

class HeadlessProgram {
 public:
  // Makes the root below `base` (the system's temporary folder when empty) and the folders
  // in it, and points the program at them; the runtime is not started yet.
  explicit HeadlessProgram(const std::filesystem::path& base = {});
  ~HeadlessProgram();
  HeadlessProgram(const HeadlessProgram&) = delete;
  HeadlessProgram& operator=(const HeadlessProgram&) = delete;

  // Fresh caches, no decoding faults, a started runtime and an empty backend log.
  void Start();
  // The program's exit steps, then fresh caches and no decoding faults. Returns the
  // runtime's exit status. Does nothing (and gives 0) when the program is not started.
  int Stop();
  bool Started() const { return started_; }

  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path ConfigDir() const { return Root() / "config"; }
  std::filesystem::path WorkDir() const { return Root() / "work"; }
  std::filesystem::path ResourcesDir() const { return Root() / "share" / "palmeno"; }
  std::filesystem::path ExecutableFile() const { return Root() / "bin" / "palmeno"; }

  // Writes a stand-in for one resource file ("switch_up.bmp", "tuned.wav"): a picture for
  // a ".bmp" name, a sound for anything else.
  void WriteResource(const std::string& fileName) const;
  void RemoveResource(const std::string& fileName) const;

 private:
  std::filesystem::path root_;
  std::filesystem::path oldCwd_;
  std::optional<std::string> oldConfigHome_;
  bool started_ = false;
};

}  // namespace testsupport
