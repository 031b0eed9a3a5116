#include "frontend/trait_details.h"

#include <algorithm>
#include <fstream>

#include "frontend/json_members.h"

namespace trov::front {

namespace {

using namespace json;

TraitEstimate estimate(const Json& object) {
  return {number(object, "estimate"), number(object, "se"), number(object, "p"), number(object, "lower"),
          number(object, "upper")};
}

// Per trait (or M x M for a gamma, row by row) the columns of an estimate laid out as arrays.
std::vector<TraitEstimate> estimates(const Json* object) {
  if (!object) return {};
  const auto flat = [&](const char* name) {
    std::vector<double> values;
    for (const Json& value : array_member(*object, name)) {
      if (value.is_array())
        for (const Json& v : value) values.push_back(number_of(v));
      else
        values.push_back(number_of(value));
    }
    return values;
  };
  const std::vector<double> e = flat("estimate"), se = flat("se"), p = flat("p"), lo = flat("lower"),
                            hi = flat("upper");
  const auto at = [](const std::vector<double>& v, std::size_t i) { return i < v.size() ? v[i] : kNoValue; };
  std::vector<TraitEstimate> out;
  for (std::size_t i = 0; i < e.size(); ++i) out.push_back({e[i], at(se, i), at(p, i), at(lo, i), at(hi, i)});
  return out;
}

std::vector<std::string> texts(const Json& object, const char* name) {
  std::vector<std::string> out;
  for (const Json& v : array_member(object, name)) {
    if (!v.is_string()) throw LayoutFault{};
    out.push_back(v.get<std::string>());
  }
  return out;
}

TraitCurve curve(const Json& smooth) {
  TraitCurve c{text(smooth, "name"), number(smooth, "lnlambda"), number(smooth, "edf"),
               flag(smooth, "linear")};
  if (const Json* points = object_member(smooth, "curve")) {
    c.x = numbers(*points, "x");
    c.fitted = numbers(*points, "fitted");
    c.lower = numbers(*points, "lower");
    c.upper = numbers(*points, "upper");
  }
  return c;
}

TraitGrid grid(const Json& surface) {
  TraitGrid g{numbers(surface, "lnlambda"), number(surface, "edf"), numbers(surface, "grid_a"),
              numbers(surface, "grid_b")};
  for (const Json& row : array_member(surface, "fitted")) {
    if (!row.is_array() || row.size() != g.grid_a.size()) throw LayoutFault{};
    for (const Json& v : row) g.fitted.push_back(number_of(v));
  }
  return g;
}

// The arrays fit together: one curve of equal columns per trait, a grid of its two axes, every column of
// the individuals as long, a value per trait in beta and per pair in gamma.
bool fits_together(const TraitRun& t) {
  const std::size_t m = t.names.size();
  if (m < 2 || t.traits.size() != m) return false;
  for (const auto& column : t.traits)
    if (column.size() != t.y.size()) return false;
  if (!t.n.empty() && t.n.size() != t.y.size()) return false;
  if (!t.beta.empty() && t.beta.size() != m) return false;
  if (!t.gamma.empty() && t.gamma.size() != m * m) return false;
  if (t.peak_inside && t.peak_location.size() != m) return false;
  if (t.surface)
    return m == 2 && t.grid && t.grid->grid_a.size() >= 2 && t.grid->grid_b.size() >= 2 &&
           t.grid->fitted.size() == t.grid->grid_a.size() * t.grid->grid_b.size();
  if (t.curves.size() != m) return false;
  return std::all_of(t.curves.begin(), t.curves.end(), [](const TraitCurve& c) {
    return c.x.size() >= 2 && c.fitted.size() == c.x.size() && c.lower.size() == c.x.size() &&
           c.upper.size() == c.x.size();
  });
}

void read_traits(const Json& traits, TraitRun& t) {
  t.names = texts(traits, "names");
  t.surface = text(traits, "shape") == "surface";
  t.model = text(traits, "model", "normal");
  t.cases = whole(traits, "cases");
  t.observations = whole(traits, "observations");
  t.edf = number(traits, "edf");
  for (const Json& smooth : array_member(traits, "smooths")) t.curves.push_back(curve(smooth));
  if (const Json* surface = object_member(traits, "surface")) t.grid = grid(*surface);
  if (const Json* gradients = object_member(traits, "gradients")) {
    t.beta = estimates(object_member(*gradients, "beta"));
    t.gamma = estimates(object_member(*gradients, "gamma"));
  }
  if (const Json* peak = object_member(traits, "peak")) {
    t.peak_inside = flag(*peak, "inside");
    t.peak_location = estimates(object_member(*peak, "location"));
    if (const Json* height = object_member(*peak, "height")) t.peak_height = estimate(*height);
    t.peak_replicates = whole(*peak, "replicates");
  }
  if (const Json* bootstrap = object_member(traits, "bootstrap")) {
    t.replicates = whole(*bootstrap, "replicates");
    t.bootstrap_type = text(*bootstrap, "type");
    t.bootstrap_lambda = text(*bootstrap, "lambda");
  }
  if (const Json* points = object_member(traits, "points")) {
    for (const std::string& name : t.names) t.traits.push_back(numbers(*points, name.c_str()));
    t.y = numbers(*points, "y");
    t.n = numbers(*points, "n");
  }
  t.warnings = texts(traits, "warnings");
}

}  // namespace

TraitRun read_trait_run(const std::string& path) {
  TraitRun t;
  std::ifstream file(path);
  const Json r = Json::parse(file, nullptr, /*allow_exceptions=*/false);
  if (!r.is_object()) return t;
  const auto traits = r.find("traits");
  if (traits == r.end() || traits->is_null()) return t;
  t.present = true;
  try {
    read_traits(*traits, t);
    if (fits_together(t)) return t;
  } catch (const LayoutFault&) {
  }
  TraitRun unread;
  unread.present = true;
  unread.unread = path + "'s traits are not laid out as trovwin reads them";
  return unread;
}

}  // namespace trov::front
