#pragma once
// Design-time properties: the initial values of a window or control, applied in one step
// from a table while the window is built.

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <variant>

#include "platform/types.h"

namespace platform {

using PropertyValue = std::variant<bool, std::int64_t, String, Color>;

struct Property {
  std::string_view name;
  PropertyValue value;
};

// Something that takes design-time properties. Each class handles the names it gives a
// meaning to and keeps the rest as they were given, so that every value can be read back.
class PropertyTarget {
 public:
  virtual ~PropertyTarget() = default;
  virtual void SetProperty(std::string_view name, const PropertyValue& value);
  // The value last given for a property, or nullptr.
  const PropertyValue* GetProperty(std::string_view name) const;

 protected:
  static Int32 AsInt32(const PropertyValue& v);
  static bool AsBool(const PropertyValue& v);
  static const String& AsString(const PropertyValue& v);
  static Color AsColor(const PropertyValue& v);

 private:
  std::map<std::string, PropertyValue, std::less<>> given_;
};

// Applies the properties in table order.
void SetProperties(PropertyTarget& target, std::initializer_list<Property> properties);

}  // namespace platform
