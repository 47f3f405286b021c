#pragma once
// The tuner's five pictures and three sounds. Each accessor loads its file from the
// application's resources folder when it is first needed and from then on hands out the
// one cached object: the switches are read by comparing the picture they show with an
// accessor's result by identity, and a sound started through one call is stopped through
// another, so nothing may reload, copy or replace a loaded object.
//
// A picture load is tried again on every call until one gives a picture; a sound load is
// tried once per run, by the first call, whatever it gives. No accessor yields. A picture
// accessor answers with a reference to its cache, so that comparing a switch's picture
// with it, as the tuning pass does for every station, takes no reference count.

#include <memory>

#include "platform/media.h"

namespace media_detail {
// A picture's cache: empty until a load gives a picture, then fixed for the run. The
// accessors answer from it inline; only a miss goes to the loader (media.cpp).
struct PictureCache {
  const char* fileName;
  std::shared_ptr<platform::Picture> pic;
};
extern PictureCache ondellaCache, switchUpCache, switchDownCache, powerGrayCache, powerGreenCache;
const std::shared_ptr<platform::Picture>& LoadPicture(PictureCache& cache);
inline const std::shared_ptr<platform::Picture>& CachedPicture(PictureCache& cache) {
  return cache.pic ? cache.pic : LoadPicture(cache);
}
}  // namespace media_detail

inline const std::shared_ptr<platform::Picture>& Ondella() {
  return media_detail::CachedPicture(media_detail::ondellaCache);
}
inline const std::shared_ptr<platform::Picture>& switch_up() {
  return media_detail::CachedPicture(media_detail::switchUpCache);
}
inline const std::shared_ptr<platform::Picture>& switch_down() {
  return media_detail::CachedPicture(media_detail::switchDownCache);
}
inline const std::shared_ptr<platform::Picture>& power_m_gray() {
  return media_detail::CachedPicture(media_detail::powerGrayCache);
}
inline const std::shared_ptr<platform::Picture>& power_m_green() {
  return media_detail::CachedPicture(media_detail::powerGreenCache);
}

std::shared_ptr<platform::Sound> tuned();
std::shared_ptr<platform::Sound> amnoise();
std::shared_ptr<platform::Sound> fmnoise();

// Release functions of the sound caches, run at exit in this order: tuned, amnoise,
// fmnoise. Each gives up its cached sound; the sound is not loaded again afterwards.
void tunedRelease();
void amnoiseRelease();
void fmnoiseRelease();

// Tests only: forget every cached picture and sound, as at the start of a run.
void ResetMediaCachesForTesting();
