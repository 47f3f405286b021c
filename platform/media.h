#pragma once
// Pictures and sounds. Both are made by the backend from files (FolderItem::OpenAsPicture,
// FolderItem::OpenAsSound) and shared: identity, not equality, tells one from another.

#include <memory>

#include "platform/types.h"

namespace platform {

// Backend side of a picture (decoded pixels) or a sound (a prepared pipeline).
class PicturePeer {
 public:
  virtual ~PicturePeer() = default;
};

class SoundPeer {
 public:
  virtual ~SoundPeer() = default;
  virtual void Play() = 0;
  virtual void PlayLooping() = 0;
  virtual void Stop() = 0;
  // What the sound does now: a sound played once is no longer playing when it has ended.
  virtual bool IsPlaying() const = 0;
  virtual bool IsLooping() const = 0;
};

class Picture {
 public:
  Picture(Int32 width, Int32 height, std::unique_ptr<PicturePeer> peer)
      : width_(width), height_(height), peer_(std::move(peer)) {}
  Int32 Width() const { return width_; }
  Int32 Height() const { return height_; }
  PicturePeer* Peer() const { return peer_.get(); }

 private:
  Int32 width_, height_;
  std::unique_ptr<PicturePeer> peer_;
};

// None of the three waits for the sound, and none fails on a sound that already plays or
// is silent: Play and PlayLooping on a playing sound start it again from the beginning,
// Stop on a silent sound does nothing.
class Sound {
 public:
  Sound(String name, std::unique_ptr<SoundPeer> peer)
      : name_(std::move(name)), peer_(std::move(peer)) {}
  // The file name the sound was opened from ("tuned.wav").
  const String& Name() const { return name_; }

  void Play();         // once
  void PlayLooping();  // until Stop
  void Stop();
  // Asked of the backend, which alone knows when a sound played once has ended.
  bool IsPlaying() const { return peer_ && peer_->IsPlaying(); }
  bool IsLooping() const { return peer_ && peer_->IsLooping(); }

 private:
  String name_;
  std::unique_ptr<SoundPeer> peer_;
};

}  // namespace platform
