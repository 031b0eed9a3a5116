#pragma once
// What the figures of several traits show, from trov.json's "traits" member: the additive model's curves
// or the two-trait surface, the individuals, the gradients and the peak.
#include <optional>
#include <string>
#include <vector>

#include "frontend/run_report.h"

namespace trov::front {

// A value with its bootstrap spread (NaN without a bootstrap).
struct TraitEstimate {
  double estimate = kNoValue, se = kNoValue, p = kNoValue, lower = kNoValue, upper = kNoValue;
};

// One trait's curve of an additive model: the fitness along the trait, the other traits at their mean,
// with its 95% band.
struct TraitCurve {
  std::string name;
  double lnlambda = kNoValue, edf = kNoValue;
  bool linear = false;
  std::vector<double> x{}, fitted{}, lower{}, upper{};
};

// The surface of two traits on its grid: fitted[j * grid_a.size() + i] at (grid_a[i], grid_b[j]).
struct TraitGrid {
  std::vector<double> lnlambda;  // one per trait's direction
  double edf = kNoValue;
  std::vector<double> grid_a{}, grid_b{}, fitted{};
};

struct TraitRun {
  bool present = false;  // trov.json has a "traits" member
  std::string unread;    // why it cannot be shown (then nothing below is filled); empty when it can
  std::vector<std::string> names;
  bool surface = false;
  std::string model;
  int cases = 0, observations = 0;
  double edf = kNoValue;
  std::vector<TraitCurve> curves;          // additive: one per trait
  std::optional<TraitGrid> grid;           // surface
  std::vector<TraitEstimate> beta, gamma;  // per trait; M x M row by row
  bool peak_inside = false;
  std::vector<TraitEstimate> peak_location;  // per trait, when inside
  TraitEstimate peak_height;
  int peak_replicates = 0;
  int replicates = 0;                       // of the bootstrap; 0: none
  std::string bootstrap_type;               // "parametric" or "cases"
  std::string bootstrap_lambda;             // "reselected" or "fixed"
  std::vector<std::vector<double>> traits;  // per trait, the individuals' values
  std::vector<double> y, n;                 // per individual
  std::vector<std::string> warnings;        // "kind: words"
};

// The "traits" member of the trov.json at `path`. A member whose arrays do not fit together (a curve, the
// grid or the individuals of other lengths than the traits and the grid give) is not shown: `unread`
// says so.
TraitRun read_trait_run(const std::string& path);

}  // namespace trov::front
