#include "platform/media.h"

namespace platform {

void Sound::Play() {
  playing_ = true;
  looping_ = false;
  if (peer_) peer_->Play();
}

void Sound::PlayLooping() {
  playing_ = true;
  looping_ = true;
  if (peer_) peer_->PlayLooping();
}

void Sound::Stop() {
  playing_ = false;
  looping_ = false;
  if (peer_) peer_->Stop();
}

}  // namespace platform
