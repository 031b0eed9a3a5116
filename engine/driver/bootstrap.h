#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/core/fit_result.h"
#include "engine/core/points.h"
#include "engine/covariate/reboot.h"
#include "engine/driver/results.h"
#include "engine/driver/settings.h"
#include "engine/fit/fitter.h"

namespace trov {

// Draws the replicate responses of the parametric bootstrap from the fit to the observed data. It owns
// the generator state and its own replicate response, so the observed data stay untouched.
class ReplicateDraws {
 public:
  ReplicateDraws(const Points& points, const FitResult& observed, Model model, std::int32_t seed);

  // Draws the next replicate whose responses are not all equal; the degenerate draws before it are
  // counted over the whole bootstrap. False once more than `limit` degenerate draws have been made.
  bool draw(int limit);

  std::span<const double> response() const { return y_; }
  std::span<const float> fitted() const { return syold_; }  // the observed fit, single precision
  int degenerate() const { return degenerate_; }

 private:
  const Points& points_;
  Model model_;
  std::vector<double> sy_;    // the observed fit, read by the first draw
  std::vector<float> syold_;  // the means the replicates are drawn around
  std::vector<double> y_;     // the observed responses, then each replicate
  RebootState state_;
  int degenerate_ = 0;
};

// Parametric bootstrap at the run's fixed lambda: draws settings.iboot replicates from the fit to the
// observed data, refits each with the fitter as the data were fitted, and writes the fit with a band
// of one standard error to the results file. A refit whose weight vanishes, or too many degenerate
// draws, end the run with their message.
void run_bootstrap(const Settings& settings, const Points& points, double lambda, const FitResult& observed,
                   Fitter& fitter, ResultsFile& out);

}  // namespace trov
