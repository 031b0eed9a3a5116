#pragma once
// The members of trov.json as its readers take them: absent or null members as nothing (NaN, 0, false,
// empty), a member of another type than trov.json gives it as LayoutFault.
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "frontend/run_report.h"

namespace trov::front::json {

using Json = nlohmann::json;

// A member of another type than trov.json gives it: the file is of another layout.
struct LayoutFault {};

// A member that may be absent or null (a run of another kind, a value that is not finite).
inline const Json* member(const Json& object, const char* name) {
  if (!object.is_object()) throw LayoutFault{};
  const auto it = object.find(name);
  return it == object.end() || it->is_null() ? nullptr : &*it;
}

inline const Json* object_member(const Json& object, const char* name) {
  const Json* m = member(object, name);
  if (m && !m->is_object()) throw LayoutFault{};
  return m;
}

inline const Json& array_member(const Json& object, const char* name) {
  static const Json kNone = Json::array();
  const Json* m = member(object, name);
  if (m && !m->is_array()) throw LayoutFault{};
  return m ? *m : kNone;
}

inline double number_of(const Json& value) {
  if (value.is_null()) return kNoValue;
  if (!value.is_number()) throw LayoutFault{};
  return value.get<double>();
}

inline double number(const Json& object, const char* name) {
  const Json* m = member(object, name);
  return m ? number_of(*m) : kNoValue;
}

// A count, written as an integer or as a number without fraction (a sum of counts kept as a double:
// 400.0).
inline int whole(const Json& object, const char* name) {
  const Json* m = member(object, name);
  if (!m) return 0;
  if (m->is_number_integer()) return m->get<int>();
  if (!m->is_number_float()) throw LayoutFault{};
  const double value = m->get<double>();
  if (value != std::floor(value) || std::fabs(value) > std::numeric_limits<int>::max()) throw LayoutFault{};
  return static_cast<int>(value);
}

inline bool flag(const Json& object, const char* name) {
  const Json* m = member(object, name);
  if (m && !m->is_boolean()) throw LayoutFault{};
  return m && m->get<bool>();
}

inline std::string text(const Json& object, const char* name, const char* otherwise = "") {
  const Json* m = member(object, name);
  if (m && !m->is_string()) throw LayoutFault{};
  return m ? m->get<std::string>() : otherwise;
}

inline std::vector<double> numbers(const Json& object, const char* name) {
  std::vector<double> values;
  for (const Json& value : array_member(object, name)) values.push_back(number_of(value));
  return values;
}

}  // namespace trov::front::json
