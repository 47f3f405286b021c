#include "app/media.h"

#include "platform/exceptions.h"
#include "platform/files.h"

namespace {

using platform::Picture;
using platform::Sound;

// A sound's cache: `loaded` is set by the first call before it tries anything, so the
// outcome of that one try (a sound or none) stands for the run.
struct SoundCache {
  const char* fileName;
  std::shared_ptr<Sound> permaSound;
  bool loaded = false;
};

SoundCache tunedCache{"tuned.wav", nullptr};
SoundCache amnoiseCache{"amnoise.wav", nullptr};
SoundCache fmnoiseCache{"fmnoise.wav", nullptr};

// The resources folder's item for a file, or none when the framework gives no resources
// folder. A folder that gives no item for the name is a nil-object error for the caller.
std::shared_ptr<platform::FolderItem> ResourceItem(const char* fileName) {
  auto resources = platform::GetApplicationBundleResources();
  if (!resources) return nullptr;
  auto item = resources->Child(fileName);
  platform::Need(item, fileName);
  return item;
}

std::shared_ptr<Sound> Load(SoundCache& cache) {
  if (cache.loaded) return cache.permaSound;
  cache.loaded = true;
  auto item = ResourceItem(cache.fileName);
  if (!item) return nullptr;
  cache.permaSound = item->OpenAsSound();
  return cache.permaSound;
}

}  // namespace

namespace media_detail {

PictureCache ondellaCache{"Ondella.bmp", nullptr};
PictureCache switchUpCache{"switch_up.bmp", nullptr};
PictureCache switchDownCache{"switch_down.bmp", nullptr};
PictureCache powerGrayCache{"power_m_gray.bmp", nullptr};
PictureCache powerGreenCache{"power_m_green.bmp", nullptr};

const std::shared_ptr<Picture>& LoadPicture(PictureCache& cache) {
  static const std::shared_ptr<Picture> none;
  if (cache.pic) return cache.pic;
  auto item = ResourceItem(cache.fileName);
  if (!item) return none;
  // A failed open leaves the cache empty, so the next call tries the file again.
  cache.pic = item->OpenAsPicture();
  return cache.pic;
}

}  // namespace media_detail


std::shared_ptr<Sound> tuned() { return Load(tunedCache); }
std::shared_ptr<Sound> amnoise() { return Load(amnoiseCache); }
std::shared_ptr<Sound> fmnoise() { return Load(fmnoiseCache); }

// The release leaves `loaded` set: a released sound is not loaded again in the same run.
void tunedRelease() { tunedCache.permaSound.reset(); }
void amnoiseRelease() { amnoiseCache.permaSound.reset(); }
void fmnoiseRelease() { fmnoiseCache.permaSound.reset(); }

void ResetMediaCachesForTesting() {
  using namespace media_detail;
  for (PictureCache* cache :
       {&ondellaCache, &switchUpCache, &switchDownCache, &powerGrayCache, &powerGreenCache}) {
    cache->pic.reset();
  }
  for (SoundCache* cache : {&tunedCache, &amnoiseCache, &fmnoiseCache}) {
    cache->permaSound.reset();
    cache->loaded = false;
  }
}
