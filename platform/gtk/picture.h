#pragma once
// Pictures decoded by GdkPixbuf. Runs on the user-interface thread; nothing here yields.

#include <gtk/gtk.h>

#include <filesystem>
#include <memory>

#include "platform/backend.h"
#include "platform/gtk/gobject_ptr.h"

namespace platform::gtkbackend {

// Decoded pixels of a picture.
class PixbufPicture : public PicturePeer {
 public:
  explicit PixbufPicture(GObjectPtr<GdkPixbuf> pixbuf) : pixbuf_(std::move(pixbuf)) {}
  GdkPixbuf* Pixbuf() const { return pixbuf_.get(); }

 private:
  GObjectPtr<GdkPixbuf> pixbuf_;
};

// The pixels of a picture made by this backend, or nullptr.
GdkPixbuf* PixbufOf(const Picture* picture);
std::shared_ptr<Picture> LoadPicture(const std::filesystem::path& path);

}  // namespace platform::gtkbackend
