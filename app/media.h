#pragma once
// The tuner's five pictures and three sounds. Each accessor loads its file from the
// application's resources folder when it is first needed and from then on hands out the
// one cached object: the switches are read by comparing the picture they show with an
// accessor's result by identity, and a sound started through one call is stopped through
// another, so nothing may reload, copy or replace a loaded object.
//
// A picture load is tried again on every call until one gives a picture; a sound load is
// tried once per run, by the first call, whatever it gives. No accessor yields.

#include <memory>

#include "platform/media.h"

std::shared_ptr<platform::Picture> Ondella();
std::shared_ptr<platform::Picture> switch_up();
std::shared_ptr<platform::Picture> switch_down();
std::shared_ptr<platform::Picture> power_m_gray();
std::shared_ptr<platform::Picture> power_m_green();

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
