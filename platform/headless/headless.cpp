// The headless backend: records what it is asked to do instead of drawing or playing.

#include "platform/headless/headless.h"

#include <glib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>

#include "platform/backend.h"
#include "platform/media.h"

namespace platform::headless {
namespace {

struct Record {
  std::vector<std::string> log;
  std::set<std::string> failToDecode;
};

Record& Rec() {
  static Record r;
  return r;
}

void Note(std::string entry) { Rec().log.push_back(std::move(entry)); }

String MenuLabel(const MenuItem& item) { return item.Name().empty() ? item.Text() : item.Name(); }

// Logs every change below the menu bar of a window.
class MenuLogger : public MenuObserver {
 public:
  void ItemChanged(MenuItem& item) override { Note("menu.change " + MenuLabel(item)); }
  void ChildAppended(MenuItem& parent, MenuItem& child) override {
    Note("menu.append " + MenuLabel(parent) + " " + child.Text());
  }
  void ChildRemoved(MenuItem& parent, Int32 index, MenuItem&) override {
    Note("menu.remove " + MenuLabel(parent) + " " + std::to_string(index));
  }
};

class HeadlessWindowPeer : public WindowPeer {
 public:
  explicit HeadlessWindowPeer(Window& window) : window_(window) { Attach(); }
  ~HeadlessWindowPeer() override { Detach(); }

  void Show() override { Note("window.show " + window_.Title()); }
  void Hide() override { Note("window.hide " + window_.Title()); }
  void Move(Int32 top, Int32 left) override {
    Note("window.move " + window_.Title() + " " + std::to_string(top) + " " + std::to_string(left));
  }
  void Changed() override {}
  void MenuBarChanged() override {
    Detach();
    Attach();
  }
  void ControlAdded(Control&) override {}

 private:
  void Attach() {
    bar_ = window_.MenuBar();
    if (bar_) bar_->AddObserver(&logger_);
  }
  void Detach() {
    if (bar_) bar_->RemoveObserver(&logger_);
    bar_.reset();
  }

  Window& window_;
  MenuLogger logger_;
  std::shared_ptr<MenuBar> bar_;

 public:
  input::PressFilter presses;
};

class HeadlessControlPeer : public ControlPeer {
 public:
  void Changed() override {}
};

class HeadlessWebViewPeer : public WebViewPeer {
 public:
  void Changed() override {}
  void LoadURL(const String& url) override { Note("web.load " + url); }
};

class HeadlessPicturePeer : public PicturePeer {};

class HeadlessSoundPeer : public SoundPeer {
 public:
  explicit HeadlessSoundPeer(String name) : name_(std::move(name)) {}
  void Play() override {
    Note("sound.play " + name_);
    playing_ = true;
    looping_ = false;
  }
  void PlayLooping() override {
    Note("sound.loop " + name_);
    playing_ = looping_ = true;
  }
  void Stop() override {
    Note("sound.stop " + name_);
    playing_ = looping_ = false;
  }
  // No time passes here: a sound played once plays until it is stopped.
  bool IsPlaying() const override { return playing_; }
  bool IsLooping() const override { return looping_; }

 private:
  String name_;
  bool playing_ = false;
  bool looping_ = false;
};

// The first bytes of a file, fewer when the file is shorter; empty when it cannot be read.
std::string Head(const std::filesystem::path& path, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string bytes(count, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

Int32 Int32LE(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v |= std::uint32_t(static_cast<unsigned char>(b[at + i])) << (8 * i);
  return static_cast<Int32>(v);
}

class HeadlessBackend : public Backend {
 public:
  void Init() override {
    Rec().log.clear();
    Rec().failToDecode.clear();
  }
  std::unique_ptr<WindowPeer> CreateWindowPeer(Window& window) override {
    return std::make_unique<HeadlessWindowPeer>(window);
  }
  std::unique_ptr<ControlPeer> CreateControlPeer(Control& control, WindowPeer&) override {
    if (dynamic_cast<HTMLViewer*>(&control)) return std::make_unique<HeadlessWebViewPeer>();
    if (dynamic_cast<RectControl*>(&control)) return std::make_unique<HeadlessControlPeer>();
    return nullptr;
  }
  std::shared_ptr<Picture> OpenPicture(const std::filesystem::path& path) override {
    if (Rec().failToDecode.count(path.filename().string())) return nullptr;
    // Only the signature decides; a file too short for the size fields gives a picture of
    // no size, so that test fixtures can be a few bytes long.
    std::string head = Head(path, 26);
    if (head.size() < 2 || head.compare(0, 2, "BM") != 0) return nullptr;
    Int32 width = 0, height = 0;
    if (head.size() >= 26) {
      width = Int32LE(head, 18);
      height = Int32LE(head, 22);
      // A negative height marks a top-down picture; the least Int32 has no opposite.
      if (height < 0) height = height == INT32_MIN ? INT32_MAX : -height;
    }
    return std::make_shared<Picture>(width, height, std::make_unique<HeadlessPicturePeer>());
  }
  std::shared_ptr<Sound> OpenSound(const std::filesystem::path& path) override {
    String name = path.filename().string();
    if (Rec().failToDecode.count(name)) return nullptr;
    if (Head(path, 4) != "RIFF") return nullptr;
    return std::make_shared<Sound>(name, std::make_unique<HeadlessSoundPeer>(name));
  }
  void Shutdown() override {}
};

}  // namespace

const std::vector<std::string>& Log() { return Rec().log; }
void ClearLog() { Rec().log.clear(); }

std::vector<std::string> LogWith(const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& e : Rec().log)
    if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
  return out;
}

int RunUntilIdle(int limit) {
  int dispatches = 0;
  while (dispatches < limit && g_main_context_iteration(nullptr, FALSE)) ++dispatches;
  return dispatches;
}

void PressKey(Window& window, const String& key) { events::KeyDown(window, key); }
void Wheel(Window& window, Int32 deltaY, Int32 deltaX, Int32 x, Int32 y) {
  events::MouseWheel(window, x, y, deltaX, deltaY);
}
void Click(Canvas& canvas, Int32 x, Int32 y) { events::MouseDown(canvas, x, y); }
void PressButton(Window& window, Int32 x, Int32 y, std::uint32_t time, unsigned button) {
  auto* peer = dynamic_cast<HeadlessWindowPeer*>(window.Peer());
  if (peer && !peer->presses.IsNew(time, button)) return;
  events::MousePressed(window, x, y);
}
bool PressKey(Window& window, const input::KeyPress& press) { return events::KeyPressed(window, press); }
void ChooseMenu(MenuItem& item) {
  events::EnableMenuItems();
  events::MenuChosen(item);
}
void CloseWindow(Window& window) { events::CloseRequested(window); }

void FailToDecode(const std::string& fileName) { Rec().failToDecode.insert(fileName); }
void ClearFaults() { Rec().failToDecode.clear(); }

}  // namespace platform::headless

namespace platform {
std::unique_ptr<Backend> CreateBackend() { return std::make_unique<headless::HeadlessBackend>(); }
}  // namespace platform
