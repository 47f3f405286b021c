#pragma once
// Ownership helpers for GLib objects. GObjectPtr holds one strong reference and drops it
// when it goes; how the reference was obtained is spelled out at the call site, because
// GLib mixes full references, floating references and borrowed pointers.

#include <glib-object.h>

#include <memory>
#include <utility>

namespace platform::gtkbackend {

template <class T>
class GObjectPtr {
 public:
  GObjectPtr() = default;
  // Takes over a full reference the caller already owns (the result of *_new for
  // non-floating types, or a "transfer full" return).
  static GObjectPtr Adopt(T* object) { return GObjectPtr(object); }
  // Takes a reference of its own: sinks a floating reference (a fresh widget), or adds one
  // to an object somebody else owns.
  static GObjectPtr RefSink(T* object) {
    if (object) g_object_ref_sink(object);
    return GObjectPtr(object);
  }
  // Adds a reference to an object that is borrowed (never floating).
  static GObjectPtr Ref(T* object) {
    if (object) g_object_ref(object);
    return GObjectPtr(object);
  }

  GObjectPtr(const GObjectPtr& other) : object_(other.object_) {
    if (object_) g_object_ref(object_);
  }
  GObjectPtr(GObjectPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  GObjectPtr& operator=(GObjectPtr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~GObjectPtr() { reset(); }

  void reset() {
    if (T* o = std::exchange(object_, nullptr)) g_object_unref(o);
  }
  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  explicit GObjectPtr(T* object) : object_(object) {}
  T* object_ = nullptr;
};

// A signal handler that is disconnected when this object goes, so that a callback never
// reaches a C++ receiver that no longer exists. It keeps the instance alive meanwhile.
class SignalConnection {
 public:
  SignalConnection() = default;
  template <class Callback>
  SignalConnection(gpointer instance, const char* signal, Callback callback, gpointer data,
                   GConnectFlags flags = GConnectFlags(0))
      : instance_(GObjectPtr<GObject>::Ref(G_OBJECT(instance))),
        id_(g_signal_connect_data(instance, signal, G_CALLBACK(callback), data, nullptr,
                                  flags)) {}
  SignalConnection(SignalConnection&& other) noexcept
      : instance_(std::move(other.instance_)), id_(std::exchange(other.id_, 0)) {}
  SignalConnection& operator=(SignalConnection&& other) noexcept {
    if (this != &other) {
      Disconnect();
      instance_ = std::move(other.instance_);
      id_ = std::exchange(other.id_, 0);
    }
    return *this;
  }
  SignalConnection(const SignalConnection&) = delete;
  SignalConnection& operator=(const SignalConnection&) = delete;
  ~SignalConnection() { Disconnect(); }

  void Disconnect() {
    if (id_ && instance_ && g_signal_handler_is_connected(instance_.get(), id_))
      g_signal_handler_disconnect(instance_.get(), id_);
    id_ = 0;
    instance_.reset();
  }

 private:
  GObjectPtr<GObject> instance_;
  gulong id_ = 0;
};

// A GLib main-loop source (idle or timeout) removed when this object goes.
class SourceId {
 public:
  SourceId() = default;
  explicit SourceId(guint id) : id_(id) {}
  SourceId(SourceId&& other) noexcept : id_(std::exchange(other.id_, 0)) {}
  SourceId& operator=(SourceId&& other) noexcept {
    if (this != &other) {
      Remove();
      id_ = std::exchange(other.id_, 0);
    }
    return *this;
  }
  ~SourceId() { Remove(); }
  // The source ended by itself (its callback answered G_SOURCE_REMOVE): forget the id.
  void Forget() { id_ = 0; }
  void Remove() {
    if (id_) g_source_remove(id_);
    id_ = 0;
  }
  explicit operator bool() const { return id_ != 0; }

 private:
  guint id_ = 0;
};

// Owns a GError. Out(error) gives the GError** that GLib's calls fill in.
struct GErrorDeleter {
  void operator()(GError* e) const { g_error_free(e); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

class GErrorOut {
 public:
  explicit GErrorOut(GErrorPtr& target) : target_(target) {}
  ~GErrorOut() { target_.reset(error_); }
  GErrorOut(const GErrorOut&) = delete;
  GErrorOut& operator=(const GErrorOut&) = delete;
  operator GError**() { return &error_; }

 private:
  GErrorPtr& target_;
  GError* error_ = nullptr;
};
inline GErrorOut Out(GErrorPtr& error) { return GErrorOut(error); }

// Owns GLib memory allocated with g_malloc (strings, arrays).
struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
template <class T>
using GMallocPtr = std::unique_ptr<T, GFreeDeleter>;

}  // namespace platform::gtkbackend
