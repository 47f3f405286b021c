// Sounds. Each is a pipeline of its own, filesrc ! wavparse ! audioconvert ! audioresample
// ! sink (the sounds are WAV files), that waits prerolled in PAUSED, so that Play only has
// to set it playing (well under a millisecond). A fixed chain instead of playbin keeps
// typefinding, decodebin and the decoder plugins they load out of the process. Looping is
// gapless: a flushing segment seek starts it, and each SEGMENT_DONE queues the next pass
// with a non-flushing segment seek, so the sink never runs dry at the loop point.
//
// The audio sink does not synchronise to the clock. The pulse sink's clock runs on while
// its stream is corked in PAUSED, and a synchronised sink places the first sample at that
// clock's time, so a sound that waited long before it was first played started late by
// about the time it waited (0.5 s after 2 s) or was not heard within 3 s. Unsynchronised,
// the sink writes each run at the stream's current read position, however long the sound
// waited, and the device's own pace keeps the samples in time.
//
// A pipeline that fails (the sound server restarted, a laptop switched its output) is not
// used again: taking it back to READY and prerolling it again left it silent, because its
// sink keeps the connection that the server dropped. The next Play or PlayLooping builds a
// new pipeline, whose sink connects afresh. The pulse sinks of a process share one
// connection to the server, so when the output fails under one sound, every sound's
// pipeline is given up: a sound that waited prerolled would otherwise keep the dead
// connection alive, and a pipeline built next (the cue, loaded at the first tuning) would
// be handed that connection and stay silent without an error.

#include <gst/gst.h>
#include <malloc.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/gtk/sound.h"
#include "platform/gtk/gobject_ptr.h"

namespace platform::gtkbackend {

namespace {

// An unsynchronised sink reports the end of a sound when its last samples are written,
// while the device still holds up to its buffer's length of them (200 ms by default).
// The sound rests only after that, so that its end is not cut off.
constexpr guint kPlayOutMs = 250;

struct GstObjectDeleter {
  void operator()(gpointer object) const { gst_object_unref(object); }
};
using PadPtr = std::unique_ptr<GstPad, GstObjectDeleter>;
struct CapsDeleter {
  void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
using CapsPtr = std::unique_ptr<GstCaps, CapsDeleter>;

// Writes one line to standard error the first time it is asked to, so that a fault that
// every sound meets (a missing plugin) is told once, not once per sound or per play.
void ReportOnce(const std::string& line) {
  static std::set<std::string> told;
  if (!told.insert(line).second) return;
  const std::string text = "palmeno: " + line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

// The Debian package that brings each element a sound needs, for a report that says what
// to install.
struct ElementSource {
  const char* element;
  const char* package;
};
constexpr ElementSource kElements[] = {
    {"filesrc", "libgstreamer1.0-0"},
    {"wavparse", "gstreamer1.0-plugins-good"},
    {"audioconvert", "gstreamer1.0-plugins-base"},
    {"audioresample", "gstreamer1.0-plugins-base"},
    {"autoaudiosink", "gstreamer1.0-plugins-good"},
    {"pulsesink", "gstreamer1.0-plugins-good"},
    {"fakesink", "libgstreamer1.0-0"},
};

const char* PackageOf(const char* element) {
  for (const auto& e : kElements)
    if (std::string(e.element) == element) return e.package;
  return "a GStreamer plugins package";
}

bool ElementExists(const char* name) {
  return std::unique_ptr<GstElementFactory, GstObjectDeleter>(gst_element_factory_find(name)) !=
         nullptr;
}

GstElement* MakeElement(const char* name) {
  GstElement* element = gst_element_factory_make(name, nullptr);
  if (!element)
    ReportOnce(std::string("the GStreamer element \"") + name +
               "\" that the sounds need is missing; it comes with the Debian package " +
               PackageOf(name));
  return element;
}

// One built pipeline. Teardown runs in a fixed order: no bus message reaches the sound
// any more, the pipeline stops, then it goes.
struct Pipeline {
  GObjectPtr<GstElement> bin;
  // Owned by the pipeline.
  GstElement* sink = nullptr;
  SourceId watch;

  Pipeline() = default;
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;
  ~Pipeline() {
    watch.Remove();
    if (bin) gst_element_set_state(bin.get(), GST_STATE_NULL);
  }
};

class GstSound;
// Every sound that exists, so that a failed output can give up all their pipelines.
std::vector<GstSound*>& AllSounds() {
  static std::vector<GstSound*> sounds;
  return sounds;
}

class GstSound : public SoundPeer {
 public:
  // A prerolled sound, or nullptr when the file cannot be played through the chosen sink.
  static std::unique_ptr<GstSound> Open(const std::filesystem::path& path, bool silentSink) {
    auto sound = std::make_unique<GstSound>(Key{}, path, silentSink);
    sound->pipeline_ = sound->Build();
    if (!sound->pipeline_) return nullptr;
    return sound;
  }

  void Play() override {
    // A sound at rest is prerolled at its start; one that plays (or is still playing out
    // its end) is sent back there.
    restTimer_.Remove();
    if (!Usable()) return;
    if (mode_ != Mode::Idle) Seek(GST_SEEK_FLAG_FLUSH);
    mode_ = Mode::Once;
    gst_element_set_state(pipeline_->bin.get(), GST_STATE_PLAYING);
  }

  void PlayLooping() override {
    restTimer_.Remove();
    if (!Usable()) return;
    mode_ = Mode::Loop;
    Seek(GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_SEGMENT));
    gst_element_set_state(pipeline_->bin.get(), GST_STATE_PLAYING);
  }

  void Stop() override {
    if (mode_ == Mode::Idle) return;
    Rest();
  }

  bool IsPlaying() const override { return mode_ != Mode::Idle; }
  bool IsLooping() const override { return mode_ == Mode::Loop; }

 private:
  enum class Mode { Idle, Once, Loop };

  // Only Open makes sounds (make_unique needs a public constructor).
  struct Key {
    explicit Key() = default;
  };

 public:
  GstSound(Key, std::filesystem::path path, bool silentSink)
      : path_(std::move(path)), silentSink_(silentSink) {
    AllSounds().push_back(this);
  }
  ~GstSound() override { std::erase(AllSounds(), this); }
  GstSound(const GstSound&) = delete;
  GstSound& operator=(const GstSound&) = delete;

 private:
  // A new pipeline for the file, prerolled, or nullptr.
  std::unique_ptr<Pipeline> Build() {
    auto p = std::make_unique<Pipeline>();
    // Named after its file, so that GStreamer's own logs tell the sounds apart.
    p->bin = GObjectPtr<GstElement>::RefSink(gst_pipeline_new(path_.filename().c_str()));
    GstElement* source = MakeElement("filesrc");
    GstElement* parser = MakeElement("wavparse");
    GstElement* convert = MakeElement("audioconvert");
    GstElement* resample = MakeElement("audioresample");
    // The silent sink keeps time itself (it has no device to pace it), so that a silent
    // sound lasts as long as it would be heard.
    GstElement* sink = MakeElement(silentSink_ ? "fakesink" : "autoaudiosink");
    // The pipeline takes the floating references of the elements it could be given; the
    // others are dropped here.
    GstElement* elements[] = {source, parser, convert, resample, sink};
    bool complete = true;
    for (GstElement* element : elements) {
      if (!element) complete = false;
      else if (!gst_bin_add(GST_BIN(p->bin.get()), element)) complete = false;
    }
    if (!complete || !gst_element_link_many(source, parser, convert, resample, sink, nullptr))
      return nullptr;
    g_object_set(source, "location", path_.c_str(), nullptr);
    g_object_set(sink, "sync", silentSink_ ? TRUE : FALSE, nullptr);
    p->sink = sink;
    // gst_element_get_bus returns a full reference; the watch holds one of its own. It
    // runs on the default main context, which the event loop iterates.
    auto bus = GObjectPtr<GstBus>::Adopt(gst_element_get_bus(p->bin.get()));
    p->watch = SourceId(gst_bus_add_watch(bus.get(), &OnBusMessage, this));
    if (!Preroll(*p)) return nullptr;
    return p;
  }

  static bool Preroll(Pipeline& p) {
    if (gst_element_set_state(p.bin.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
      return false;
    GstState state = GST_STATE_VOID_PENDING;
    if (gst_element_get_state(p.bin.get(), &state, nullptr, 10 * GST_SECOND) !=
            GST_STATE_CHANGE_SUCCESS ||
        state != GST_STATE_PAUSED)
      return false;
    // Prerolled means the stream's format reached the sink; without one there is nothing
    // to play.
    PadPtr pad(gst_element_get_static_pad(p.sink, "sink"));
    if (!pad) return false;
    CapsPtr caps(gst_pad_get_current_caps(pad.get()));
    return caps != nullptr;
  }

  // Whether there is a pipeline to play: after a failure, a new one is built first. One
  // that cannot be built now (the sound server is still away) leaves the sound silent until
  // the next try.
  bool Usable() {
    if (failed_) {
      pipeline_.reset();
      pipeline_ = Build();
      if (!pipeline_) return false;
      failed_ = false;
      mode_ = Mode::Idle;
    }
    return pipeline_ != nullptr;
  }

  void Seek(GstSeekFlags flags) {
    gst_element_seek(pipeline_->bin.get(), 1.0, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, 0,
                     GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
  }

  // Whether the stream really stands at its end. An end-of-stream message posted just
  // before Play restarted the sound must not stop the new run.
  bool AtEnd() const {
    gint64 position = 0, duration = 0;
    GstElement* bin = pipeline_->bin.get();
    if (!gst_element_query_position(bin, GST_FORMAT_TIME, &position) ||
        !gst_element_query_duration(bin, GST_FORMAT_TIME, &duration) || duration <= 0)
      return true;
    return position >= duration - 100 * GST_MSECOND;
  }

  // A sound at rest waits in PAUSED, prerolled at its start: the flushing seek drops what
  // the sink still holds, so Stop silences it at once.
  void Rest() {
    restTimer_.Remove();
    mode_ = Mode::Idle;
    if (!pipeline_ || failed_) return;
    gst_element_set_state(pipeline_->bin.get(), GST_STATE_PAUSED);
    Seek(GST_SEEK_FLAG_FLUSH);
  }

  // The pipeline lets go of its device and its connection now; it is replaced at the next
  // Play, not reused, and not here, where its own bus may be in dispatch.
  void GiveUpPipeline() {
    restTimer_.Remove();
    mode_ = Mode::Idle;
    if (failed_) return;
    failed_ = true;
    if (pipeline_) gst_element_set_state(pipeline_->bin.get(), GST_STATE_NULL);
  }

  static gboolean OnPlayedOut(gpointer data) {
    auto* self = static_cast<GstSound*>(data);
    self->restTimer_.Forget();
    if (self->mode_ == Mode::Once) self->Rest();
    return G_SOURCE_REMOVE;
  }

  // Messages come only from the current pipeline: an old one's watch went with it.
  static gboolean OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* self = static_cast<GstSound*>(data);
    if (self->failed_) return G_SOURCE_CONTINUE;
    switch (GST_MESSAGE_TYPE(message)) {
      case GST_MESSAGE_SEGMENT_DONE:
        // A late one from before a restart is not told apart from the current run's; it
        // only queues one pass more of a loop.
        if (self->mode_ == Mode::Loop) self->Seek(GST_SEEK_FLAG_SEGMENT);
        break;
      case GST_MESSAGE_EOS:
        if (self->mode_ == Mode::Once && !self->restTimer_ && self->AtEnd())
          self->restTimer_ = SourceId(g_timeout_add(kPlayOutMs, &OnPlayedOut, self));
        break;
      case GST_MESSAGE_ERROR: {
        GErrorPtr error;
        gst_message_parse_error(message, Out(error), nullptr);
        // Told once per failure: the other errors the same fault posts are not read.
        const bool output =
            GST_MESSAGE_SRC(message) == GST_OBJECT(self->pipeline_->sink) ||
            gst_object_has_as_ancestor(GST_MESSAGE_SRC(message), GST_OBJECT(self->pipeline_->sink));
        std::fprintf(stderr, "palmeno: sound %s failed (%s); %s set up again when next played\n",
                     self->path_.filename().c_str(), error ? error->message : "unknown error",
                     output ? "every sound is" : "it is");
        std::fflush(stderr);
        if (output) {
          for (GstSound* sound : AllSounds()) sound->GiveUpPipeline();
        } else {
          self->GiveUpPipeline();
        }
        break;
      }
      default:
        break;
    }
    return G_SOURCE_CONTINUE;
  }

  const std::filesystem::path path_;
  const bool silentSink_;
  // Declared before the timer, so that the timer goes first.
  std::unique_ptr<Pipeline> pipeline_;
  SourceId restTimer_;
  Mode mode_ = Mode::Idle;
  bool failed_ = false;
};

// Opening the first sound (GStreamer loads its plugins, the audio sink connects to the
// sound server) leaves about 2 MB of the heap freed but still held by the allocator, for
// the life of the process. It is handed back once, when the event loop is next idle: it
// takes a few milliseconds, which the sound's start need not wait for.
void ReturnFreedMemory() {
  static bool done = false;
  if (done) return;
  done = true;
  g_idle_add_full(
      G_PRIORITY_LOW,
      [](gpointer) -> gboolean {
        malloc_trim(0);
        return G_SOURCE_REMOVE;
      },
      nullptr, nullptr);
}

}  // namespace

std::unique_ptr<SoundPeer> OpenSoundPeer(const std::filesystem::path& path) {
  if (!gst_is_initialized() && !gst_init_check(nullptr, nullptr, nullptr)) return nullptr;
  if (auto sound = GstSound::Open(path, false)) {
    ReturnFreedMemory();
    return sound;
  }
  // Without a working audio device the sound still exists and plays, silently, so that
  // the program runs; a file that even a silent sink cannot play is no sound.
  if (auto sound = GstSound::Open(path, true)) {
    if (!ElementExists("pulsesink"))
      ReportOnce(
          "no audio output, sounds are silent: the GStreamer element \"pulsesink\" is missing; it "
          "comes with the Debian package " +
          std::string(PackageOf("pulsesink")));
    else
      ReportOnce("no audio output, sounds are silent: no sound server answered");
    ReturnFreedMemory();
    return sound;
  }
  // When an element is missing, that was told, and the file may well be fine.
  bool elementsExist = true;
  for (const char* name : {"filesrc", "wavparse", "audioconvert", "audioresample", "fakesink"})
    if (!ElementExists(name)) elementsExist = false;
  if (elementsExist)
    ReportOnce("the sound file " + path.string() +
               " cannot be played (it is not a WAV file that GStreamer can read)");
  return nullptr;
}

}  // namespace platform::gtkbackend
