#pragma once
// The web view peer: a WebKit view placed in its window's content area.

#include <memory>

#include "platform/backend.h"
#include "platform/gtk/window_peer.h"

namespace platform::gtkbackend {

std::unique_ptr<WebViewPeer> MakeWebViewPeer(HTMLViewer& viewer, GtkWindowPeer& window);

}  // namespace platform::gtkbackend
