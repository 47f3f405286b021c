#include "platform/properties.h"

#include <limits>

namespace platform {

void PropertyTarget::SetProperty(std::string_view name, const PropertyValue& value) {
  auto it = given_.find(name);
  if (it == given_.end()) given_.emplace(String(name), value);
  else it->second = value;
}

const PropertyValue* PropertyTarget::GetProperty(std::string_view name) const {
  auto it = given_.find(name);
  return it == given_.end() ? nullptr : &it->second;
}

Int32 PropertyTarget::AsInt32(const PropertyValue& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) {
    if (*i > std::numeric_limits<Int32>::max()) return std::numeric_limits<Int32>::max();
    if (*i < std::numeric_limits<Int32>::min()) return std::numeric_limits<Int32>::min();
    return static_cast<Int32>(*i);
  }
  if (const auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
  return 0;
}

bool PropertyTarget::AsBool(const PropertyValue& v) {
  if (const auto* b = std::get_if<bool>(&v)) return *b;
  if (const auto* i = std::get_if<std::int64_t>(&v)) return *i != 0;
  return false;
}

const String& PropertyTarget::AsString(const PropertyValue& v) {
  static const String empty;
  if (const auto* s = std::get_if<String>(&v)) return *s;
  return empty;
}

Color PropertyTarget::AsColor(const PropertyValue& v) {
  if (const auto* c = std::get_if<Color>(&v)) return *c;
  if (const auto* i = std::get_if<std::int64_t>(&v)) return RGB(static_cast<std::uint32_t>(*i));
  return Color{};
}

void SetProperties(PropertyTarget& target, std::initializer_list<Property> properties) {
  for (const Property& p : properties) target.SetProperty(p.name, p.value);
}

}  // namespace platform
