#include "tuner/service_urls.h"

#ifndef PALMENO_SERVICE_HOST
#error "PALMENO_SERVICE_HOST must name the service's web host"
#endif

const platform::String& PlayerPageURLPrefix() {
  static const platform::String prefix = "http://" PALMENO_SERVICE_HOST "/player/player.html#";
  return prefix;
}

const platform::String& LogoImageURL() {
  static const platform::String url =
      "http://" PALMENO_SERVICE_HOST "/static/2.0/common/images/sitelogo.png";
  return url;
}
