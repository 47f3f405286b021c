// The pictures and sounds: one shared object per file, a picture's load retried until it
// gives a picture, a sound's load tried exactly once.

#include <functional>
#include <set>
#include <memory>
#include <string>

#include "app/media.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/headless/headless.h"
#include "support/program_fixture.h"

namespace {

using platform::Picture;
using platform::Sound;

struct PictureAccessor {
  const char* file;
  std::function<std::shared_ptr<Picture>()> get;
};
struct SoundAccessor {
  const char* file;
  std::function<std::shared_ptr<Sound>()> get;
};

const PictureAccessor kPictures[] = {
    {"Ondella.bmp", Ondella},           {"switch_up.bmp", switch_up},
    {"switch_down.bmp", switch_down},   {"power_m_gray.bmp", power_m_gray},
    {"power_m_green.bmp", power_m_green},
};
const SoundAccessor kSounds[] = {
    {"tuned.wav", tuned}, {"amnoise.wav", amnoise}, {"fmnoise.wav", fmnoise}};

class MediaTest : public testsupport::ProgramTest {};

TEST_F(MediaTest, EachAccessorHandsOutOneDistinctObject) {
  std::set<const void*> seen;
  for (const auto& p : kPictures) {
    const auto first = p.get();
    ASSERT_TRUE(first) << p.file;
    EXPECT_EQ(p.get(), first) << p.file;
    seen.insert(first.get());
  }
  for (const auto& s : kSounds) {
    const auto first = s.get();
    ASSERT_TRUE(first) << s.file;
    EXPECT_EQ(s.get(), first) << s.file;
    EXPECT_EQ(first->Name(), s.file);
    seen.insert(first.get());
  }
  EXPECT_EQ(seen.size(), 8u);
}

TEST_F(MediaTest, MissingPictureIsTriedAgainUntilItLoadsThenKept) {
  for (const auto& p : kPictures) {
    SCOPED_TRACE(p.file);
    RemoveResource(p.file);
    EXPECT_FALSE(p.get());
    EXPECT_FALSE(p.get());
    WriteResource(p.file);
    const auto loaded = p.get();
    ASSERT_TRUE(loaded);
    // Once loaded, the file is not touched again.
    RemoveResource(p.file);
    EXPECT_EQ(p.get(), loaded);
  }
}

TEST_F(MediaTest, UndecodablePictureIsTriedAgainToo) {
  platform::headless::FailToDecode("power_m_gray.bmp");
  EXPECT_FALSE(power_m_gray());
  platform::headless::ClearFaults();
  EXPECT_TRUE(power_m_gray());
}

TEST_F(MediaTest, MissingSoundIsTriedOnceForTheRun) {
  for (const auto& s : kSounds) {
    SCOPED_TRACE(s.file);
    RemoveResource(s.file);
    EXPECT_FALSE(s.get());
    WriteResource(s.file);
    EXPECT_FALSE(s.get());
  }
}

TEST_F(MediaTest, UndecodableSoundIsTriedOnceForTheRun) {
  platform::headless::FailToDecode("amnoise.wav");
  EXPECT_FALSE(amnoise());
  platform::headless::ClearFaults();
  EXPECT_FALSE(amnoise());
  EXPECT_TRUE(fmnoise());
}

TEST_F(MediaTest, ReleasedSoundIsGoneForTheRestOfTheRun) {
  const std::weak_ptr<Sound> cue = tuned();
  ASSERT_TRUE(amnoise());
  ASSERT_TRUE(fmnoise());
  tunedRelease();
  EXPECT_TRUE(cue.expired());
  EXPECT_FALSE(tuned());
  EXPECT_TRUE(amnoise());
  amnoiseRelease();
  fmnoiseRelease();
  EXPECT_FALSE(amnoise());
  EXPECT_FALSE(fmnoise());
}

TEST_F(MediaTest, FailureToFindTheResourcesFolderReachesTheCaller) {
  // An executable in the root folder has no grandparent to hold the resources.
  platform::SetExecutableFileForTesting("/palmeno");
  EXPECT_THROW(switch_up(), platform::NilObjectException);
  EXPECT_THROW(tuned(), platform::NilObjectException);

  // The picture tries again; the sound had its one try.
  platform::SetExecutableFileForTesting(ResourcesDir().parent_path().parent_path() / "bin" / "palmeno");
  EXPECT_TRUE(switch_up());
  EXPECT_FALSE(tuned());
}

TEST_F(MediaTest, BuiltResourcesAllLoad) {
  UseBuiltResources();
  for (const auto& p : kPictures) EXPECT_TRUE(p.get()) << p.file;
  for (const auto& s : kSounds) EXPECT_TRUE(s.get()) << s.file;
}

}  // namespace
