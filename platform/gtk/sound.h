#pragma once
// The sound peer: a GStreamer pipeline that plays one WAV file.

#include <filesystem>
#include <memory>

#include "platform/backend.h"

namespace platform::gtkbackend {

std::unique_ptr<SoundPeer> OpenSoundPeer(const std::filesystem::path& path);

}  // namespace platform::gtkbackend
