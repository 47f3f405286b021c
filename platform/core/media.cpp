#include "platform/media.h"

namespace platform {

void Sound::Play() {
  if (peer_) peer_->Play();
}

void Sound::PlayLooping() {
  if (peer_) peer_->PlayLooping();
}

void Sound::Stop() {
  if (peer_) peer_->Stop();
}

}  // namespace platform
