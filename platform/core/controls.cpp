#include "platform/controls.h"

#include "platform/media.h"

namespace platform {

void Control::SetProperty(std::string_view name, const PropertyValue& value) {
  PropertyTarget::SetProperty(name, value);
  if (name == "Name") name_ = AsString(value);
}

void RectControl::SetProperty(std::string_view name, const PropertyValue& value) {
  Control::SetProperty(name, value);
  if (name == "Left") left_ = AsInt32(value);
  else if (name == "Top") top_ = AsInt32(value);
  else if (name == "Width") width_ = AsInt32(value);
  else if (name == "Height") height_ = AsInt32(value);
  else if (name == "Visible") visible_ = AsBool(value);
  else if (name == "Enabled") enabled_ = AsBool(value);
  else return;
  NotifyChanged();
}

void RectControl::AddMenuHandler(std::string_view itemName, MenuHandler handler) {
  for (auto& [name, h] : menuHandlers_) {
    if (name == itemName) {
      h = std::move(handler);
      return;
    }
  }
  menuHandlers_.emplace_back(String(itemName), std::move(handler));
}

const RectControl::MenuHandler* RectControl::FindMenuHandler(std::string_view itemName) const {
  for (const auto& [name, h] : menuHandlers_)
    if (name == itemName && h) return &h;
  return nullptr;
}

void Canvas::SetBackdrop(std::shared_ptr<Picture> picture) {
  backdrop_ = std::move(picture);
  NotifyChanged();
}

void Line::SetX1(Int32 v) {
  x1_ = v;
  NotifyChanged();
}
void Line::SetY1(Int32 v) {
  y1_ = v;
  NotifyChanged();
}
void Line::SetX2(Int32 v) {
  x2_ = v;
  NotifyChanged();
}
void Line::SetY2(Int32 v) {
  y2_ = v;
  NotifyChanged();
}

void Line::SetProperty(std::string_view name, const PropertyValue& value) {
  RectControl::SetProperty(name, value);
  if (name == "X1") SetX1(AsInt32(value));
  else if (name == "Y1") SetY1(AsInt32(value));
  else if (name == "X2") SetX2(AsInt32(value));
  else if (name == "Y2") SetY2(AsInt32(value));
  else if (name == "BorderWidth") borderWidth_ = AsInt32(value), NotifyChanged();
  else if (name == "LineColor") color_ = AsColor(value), NotifyChanged();
}

void HTMLViewer::LoadURL(const String& url) {
  url_ = url;
  if (auto* web = dynamic_cast<WebViewPeer*>(Peer())) web->LoadURL(url);
}

}  // namespace platform
