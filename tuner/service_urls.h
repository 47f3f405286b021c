#pragma once
// The two addresses on the Ondella service's web host that the tuner hands to the player
// window. The host is fixed when the program is built (PALMENO_SERVICE_HOST).

#include "platform/types.h"

// "http://HOST/player/player.html#"; the station code is appended unchanged.
const platform::String& PlayerPageURLPrefix();
// "http://HOST/static/2.0/common/images/sitelogo.png": loaded in place of a station's page,
// which ends its stream.
const platform::String& LogoImageURL();
