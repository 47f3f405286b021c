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

#include <gst/gst.h>
#include <malloc.h>

#include <cstdio>

#include "platform/gtk/peers.h"

namespace platform::gtkbackend {

namespace {

// An unsynchronised sink reports the end of a sound when its last samples are written,
// while the device still holds up to its buffer's length of them (200 ms by default).
// The sound rests only after that, so that its end is not cut off.
constexpr guint kPlayOutMs = 250;

class GstSound : public SoundPeer {
 public:
  // A prerolled sound, or nullptr when the file cannot be played through `sink`.
  static std::unique_ptr<GstSound> Open(const std::filesystem::path& path, bool silentSink) {
    // Named after its file, so that GStreamer's own logs tell the sounds apart.
    auto pipeline = GObjectPtr<GstElement>::RefSink(gst_pipeline_new(path.filename().c_str()));
    GstElement* source = gst_element_factory_make("filesrc", nullptr);
    GstElement* parser = gst_element_factory_make("wavparse", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    // The silent sink keeps time itself (it has no device to pace it), so that a silent
    // sound lasts as long as it would be heard.
    GstElement* sink = gst_element_factory_make(silentSink ? "fakesink" : "autoaudiosink", nullptr);
    // The pipeline takes the floating references of the elements it could be given; the
    // others are dropped here.
    GstElement* elements[] = {source, parser, convert, resample, sink};
    bool complete = true;
    for (GstElement* element : elements) {
      if (!element) complete = false;
      else if (!gst_bin_add(GST_BIN(pipeline.get()), element)) complete = false;
    }
    if (!complete || !gst_element_link_many(source, parser, convert, resample, sink, nullptr))
      return nullptr;
    g_object_set(source, "location", path.c_str(), nullptr);
    g_object_set(sink, "sync", silentSink ? TRUE : FALSE, nullptr);
    auto sound = std::make_unique<GstSound>(Key{}, std::move(pipeline), sink);
    if (!sound->Preroll()) return nullptr;
    return sound;
  }

  ~GstSound() override {
    // Fixed order: no timer and no bus message can reach us any more, the pipeline stops,
    // then it goes.
    CancelRest();
    if (watching_) gst_bus_remove_watch(bus_.get());
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
  }

  void Play() override {
    // A sound at rest is prerolled at its start; one that plays (or is still playing out
    // its end) is sent back there.
    CancelRest();
    if (failed_) Recover();
    else if (mode_ != Mode::Idle) Seek(GST_SEEK_FLAG_FLUSH);
    mode_ = Mode::Once;
    gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
  }

  void PlayLooping() override {
    CancelRest();
    if (failed_) Recover();
    mode_ = Mode::Loop;
    Seek(GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_SEGMENT));
    gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
  }

  void Stop() override {
    if (mode_ == Mode::Idle) return;
    Rest();
  }

 private:
  enum class Mode { Idle, Once, Loop };

  // Only Open makes sounds (make_unique needs a public constructor).
  struct Key {
    explicit Key() = default;
  };

 public:
  GstSound(Key, GObjectPtr<GstElement> pipeline, GstElement* sink)
      : pipeline_(std::move(pipeline)), sink_(sink) {
    // gst_element_get_bus returns a full reference.
    bus_ = GObjectPtr<GstBus>::Adopt(gst_element_get_bus(pipeline_.get()));
    // The watch runs on the default main context, which the event loop iterates.
    watching_ = gst_bus_add_watch(bus_.get(), &OnBusMessage, this) != 0;
  }

 private:
  bool Preroll() {
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
      return false;
    GstState state = GST_STATE_VOID_PENDING;
    if (gst_element_get_state(pipeline_.get(), &state, nullptr, 10 * GST_SECOND) !=
            GST_STATE_CHANGE_SUCCESS ||
        state != GST_STATE_PAUSED)
      return false;
    // Prerolled means the stream's format reached the sink; without one there is nothing
    // to play.
    GstPad* pad = gst_element_get_static_pad(sink_, "sink");
    if (!pad) return false;
    GstCaps* caps = gst_pad_get_current_caps(pad);
    gst_object_unref(pad);
    if (!caps) return false;
    gst_caps_unref(caps);
    return true;
  }

  void Seek(GstSeekFlags flags) {
    gst_element_seek(pipeline_.get(), 1.0, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, 0,
                     GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
  }

  // Whether the stream really stands at its end. An end-of-stream message posted just
  // before Play restarted the sound must not stop the new run.
  bool AtEnd() const {
    gint64 position = 0, duration = 0;
    if (!gst_element_query_position(pipeline_.get(), GST_FORMAT_TIME, &position) ||
        !gst_element_query_duration(pipeline_.get(), GST_FORMAT_TIME, &duration) || duration <= 0)
      return true;
    return position >= duration - 100 * GST_MSECOND;
  }

  // A sound at rest waits in PAUSED, prerolled at its start: the flushing seek drops what
  // the sink still holds, so Stop silences it at once.
  void Rest() {
    CancelRest();
    mode_ = Mode::Idle;
    gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED);
    Seek(GST_SEEK_FLAG_FLUSH);
  }

  // After an error: preroll again from READY, as when the sound was opened. A sound that
  // fails again reports it through the bus.
  void Recover() {
    failed_ = false;
    Preroll();
  }

  void CancelRest() {
    if (restTimer_) g_source_remove(restTimer_);
    restTimer_ = 0;
  }

  static gboolean OnPlayedOut(gpointer data) {
    auto* self = static_cast<GstSound*>(data);
    self->restTimer_ = 0;
    if (self->mode_ == Mode::Once) self->Rest();
    return G_SOURCE_REMOVE;
  }

  static gboolean OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* self = static_cast<GstSound*>(data);
    switch (GST_MESSAGE_TYPE(message)) {
      case GST_MESSAGE_SEGMENT_DONE:
        // A late one from before a restart is not told apart from the current run's; it
        // only queues one pass more of a loop.
        if (self->mode_ == Mode::Loop) self->Seek(GST_SEEK_FLAG_SEGMENT);
        break;
      case GST_MESSAGE_EOS:
        if (self->mode_ == Mode::Once && !self->restTimer_ && self->AtEnd())
          self->restTimer_ = g_timeout_add(kPlayOutMs, &OnPlayedOut, self);
        break;
      case GST_MESSAGE_ERROR: {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        std::fprintf(stderr, "palmeno: sound error: %s\n", error ? error->message : "?");
        if (error) g_error_free(error);
        // READY drops whatever state the failure left behind. The next Play prerolls the
        // sound again; doing it here could fail the same way and loop.
        self->CancelRest();
        self->mode_ = Mode::Idle;
        self->failed_ = true;
        gst_element_set_state(self->pipeline_.get(), GST_STATE_READY);
        break;
      }
      default:
        break;
    }
    return G_SOURCE_CONTINUE;
  }

  GObjectPtr<GstElement> pipeline_;
  // Owned by the pipeline.
  GstElement* sink_;
  GObjectPtr<GstBus> bus_;
  bool watching_ = false;
  Mode mode_ = Mode::Idle;
  guint restTimer_ = 0;
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
    static bool warned = false;
    if (!warned) std::fprintf(stderr, "palmeno: no audio output; sounds are silent\n");
    warned = true;
    ReturnFreedMemory();
    return sound;
  }
  return nullptr;
}

}  // namespace platform::gtkbackend
