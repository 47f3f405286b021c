#include "bench/program_env.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "app/app.h"
#include "app/media.h"
#include "app/menubar1.h"
#include "platform/application.h"
#include "platform/files.h"
#include "platform/headless.h"
#include "platform/thread.h"

namespace fs = std::filesystem;

namespace bench {
namespace {

std::unique_ptr<ProgramEnv> env;

void WriteFile(const fs::path& path, const std::string& contents) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

ProgramEnv& ProgramEnv::Get() {
  if (!env) env = std::make_unique<ProgramEnv>(Key{});
  return *env;
}

void ProgramEnv::Shutdown() { env.reset(); }

ProgramEnv::ProgramEnv(Key) {
  std::string pattern = (fs::temp_directory_path() / "palmeno-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
  root_ = pattern;
  oldCwd_ = fs::current_path();

  // The installed layout, bin/palmeno beside share/palmeno, with stand-ins that the
  // headless backend takes for a picture ("BM...") and a sound ("RIFF...").
  for (const char* name : {"Ondella.bmp", "switch_up.bmp", "switch_down.bmp", "power_m_gray.bmp",
                           "power_m_green.bmp"}) {
    WriteFile(root_ / "share" / "palmeno" / name, "BM" + std::string(62, '\0'));
  }
  for (const char* name : {"tuned.wav", "amnoise.wav", "fmnoise.wav"}) {
    WriteFile(root_ / "share" / "palmeno" / name, "RIFF" + std::string(60, '\0'));
  }
  WriteFile(root_ / "bin" / "palmeno", "");
  platform::SetExecutableFileForTesting(root_ / "bin" / "palmeno");
  setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
  UseWorkFolder("builtin");

  // The main routine's steps up to the event loop; the loop then raises the Open events
  // (the application's, then the main window's first-run defaults).
  platform::RuntimeInit();
  up_ = true;
  platform::RunFrameworkInitialization(Startup);
  RunUntilIdle();
  window_ = tunerWindow::Instance().get();
  platform::headless::ClearLog();
}

ProgramEnv::~ProgramEnv() {
  if (up_) {
    tunedRelease();
    amnoiseRelease();
    fmnoiseRelease();
    MenuBar1::ReleaseInstance();
    platform::RuntimeExit();
  }
  std::error_code ignored;
  fs::current_path(oldCwd_, ignored);
  fs::remove_all(root_, ignored);
}

void ProgramEnv::UseWorkFolder(const std::string& folder) {
  fs::create_directories(root_ / folder);
  fs::current_path(root_ / folder);
}

int ProgramEnv::RunUntilIdle() { return platform::headless::RunUntilIdle(); }

bool ProgramEnv::RunPass() {
  auto worker = window_->tuneStationThread();
  const auto before = worker->RunsCompleted();
  worker->Run();
  RunUntilIdle();
  return !worker->IsBusy() && worker->RunsCompleted() == before + 1;
}

void ProgramEnv::PlaceNeedle(platform::Int32 x) {
  auto needle = window_->tuneBar();
  needle->SetX1(x);
  needle->SetX2(needle->X1());
}

void ProgramEnv::PowerOnAM() {
  window_->mainPower()->SetBackdrop(power_m_green());
  window_->bandSwitch()->SetBackdrop(switch_up());
}

}  // namespace bench
