#include "bench/program_env.h"

#include <memory>

#include "app/app.h"
#include "app/media.h"
#include "platform/application.h"
#include "platform/headless/headless.h"
#include "platform/thread.h"

namespace fs = std::filesystem;

namespace bench {
namespace {

std::unique_ptr<ProgramEnv> env;

}  // namespace

ProgramEnv& ProgramEnv::Get() {
  if (!env) env = std::make_unique<ProgramEnv>(Key{});
  return *env;
}

void ProgramEnv::Shutdown() { env.reset(); }

ProgramEnv::ProgramEnv(Key) {
  UseWorkFolder("builtin");

  // The main routine's steps up to the event loop; the loop then raises the Open events
  // (the application's, then the main window's first-run defaults).
  program_.Start();
  platform::RunFrameworkInitialization(Startup);
  RunUntilIdle();
  window_ = tunerWindow::Instance().get();
  platform::headless::ClearLog();
}

void ProgramEnv::UseWorkFolder(const std::string& folder) {
  fs::create_directories(Root() / folder);
  fs::current_path(Root() / folder);
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
