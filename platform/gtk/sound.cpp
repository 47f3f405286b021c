// Sounds. Each is a playbin of its own, prerolled to PAUSED when it is opened so that
// Play starts at once. Looping is gapless: a flushing segment seek starts it, and each
// SEGMENT_DONE queues the next pass with a non-flushing segment seek, so the sink never
// runs dry at the loop point.

#include <gst/gst.h>

#include <cstdio>

#include "platform/gtk/peers.h"

namespace platform::gtkbackend {

namespace {

// playbin's "flags": audio only, no video or subtitles.
constexpr guint kPlayFlagAudio = 1u << 1;

class GstSound : public SoundPeer {
 public:
  // A prerolled sound, or nullptr when the file cannot be played through `sink`.
  static std::unique_ptr<GstSound> Open(const std::filesystem::path& path, bool silentSink) {
    GError* error = nullptr;
    GMallocPtr<gchar> uri(gst_filename_to_uri(path.c_str(), &error));
    if (error) g_error_free(error);
    if (!uri) return nullptr;
    // Named after its file, so that GStreamer's own logs tell the sounds apart.
    auto pipeline = GObjectPtr<GstElement>::RefSink(
        gst_element_factory_make("playbin", path.filename().c_str()));
    if (!pipeline) return nullptr;
    g_object_set(pipeline.get(), "uri", uri.get(), "flags", kPlayFlagAudio, nullptr);
    if (silentSink) {
      // playbin takes its own reference to the floating sink.
      GstElement* sink = gst_element_factory_make("fakesink", nullptr);
      g_object_set(sink, "sync", TRUE, nullptr);
      g_object_set(pipeline.get(), "audio-sink", sink, nullptr);
    }
    auto sound = std::make_unique<GstSound>(Key{}, std::move(pipeline));
    if (!sound->Preroll()) return nullptr;
    sound->Rest();
    return sound;
  }

  ~GstSound() override {
    // Fixed order: the pipeline stops, then no bus message can reach us, then it goes.
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    if (watching_) gst_bus_remove_watch(bus_.get());
  }

  void Play() override {
    // A sound at rest is prerolled at its start; one that plays is sent back there.
    if (mode_ == Mode::Idle) Preroll();
    else Seek(GST_SEEK_FLAG_FLUSH);
    mode_ = Mode::Once;
    gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
  }

  void PlayLooping() override {
    if (mode_ == Mode::Idle) Preroll();
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
  GstSound(Key, GObjectPtr<GstElement> pipeline) : pipeline_(std::move(pipeline)) {
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
    gint audioStreams = 0;
    g_object_get(pipeline_.get(), "n-audio", &audioStreams, nullptr);
    return audioStreams > 0;
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

  // A sound at rest waits in READY: the file is open and its decoder chosen, and Play
  // prerolls it again in a few milliseconds. It does not wait in PAUSED, because the
  // pulse sink then writes a sound that starts after a long pause late by about the
  // time it waited (measured: 0.5 s after 2 s, over 3 s after 9 s).
  void Rest() {
    mode_ = Mode::Idle;
    gst_element_set_state(pipeline_.get(), GST_STATE_READY);
  }

  static gboolean OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* self = static_cast<GstSound*>(data);
    switch (GST_MESSAGE_TYPE(message)) {
      case GST_MESSAGE_SEGMENT_DONE:
        // playbin does not pass the seek's number on to this message, so a late one from
        // before a restart cannot be told apart; it only queues one pass more of a loop.
        if (self->mode_ == Mode::Loop) self->Seek(GST_SEEK_FLAG_SEGMENT);
        break;
      case GST_MESSAGE_EOS:
        if (self->mode_ == Mode::Once && self->AtEnd()) self->Rest();
        break;
      case GST_MESSAGE_ERROR: {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        std::fprintf(stderr, "palmeno: sound error: %s\n", error ? error->message : "?");
        if (error) g_error_free(error);
        if (self->mode_ != Mode::Idle) self->Rest();
        break;
      }
      default:
        break;
    }
    return G_SOURCE_CONTINUE;
  }

  GObjectPtr<GstElement> pipeline_;
  GObjectPtr<GstBus> bus_;
  bool watching_ = false;
  Mode mode_ = Mode::Idle;
};

}  // namespace

std::unique_ptr<SoundPeer> OpenSoundPeer(const std::filesystem::path& path) {
  if (!gst_is_initialized() && !gst_init_check(nullptr, nullptr, nullptr)) return nullptr;
  if (auto sound = GstSound::Open(path, false)) return sound;
  // Without a working audio device the sound still exists and plays, silently, so that
  // the program runs; a file that even a silent sink cannot play is no sound.
  if (auto sound = GstSound::Open(path, true)) {
    static bool warned = false;
    if (!warned) std::fprintf(stderr, "palmeno: no audio output; sounds are silent\n");
    warned = true;
    return sound;
  }
  return nullptr;
}

}  // namespace platform::gtkbackend
