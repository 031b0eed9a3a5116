#pragma once

#include <cstdint>
#include <span>

#include "engine/core/model.h"
#include "engine/covariate/random.h"

namespace trov {

// What the bootstrap replicates carry from one call to the next: the generator state of the run.
struct RebootState {
  explicit RebootState(std::int32_t seed) : seed(seed) {}
  std::int32_t seed;      // the generator state, from the seed of trov.in; runs on through every draw
  int first_call = 0;     // 0 until the first replicate has been drawn
  float variance = 0.0f;  // residual variance of the normal model, set by the first call
  GaussCache gauss;       // the run's waiting normal deviate
};

// Replaces the n mean responses y by one parametric bootstrap replicate drawn around syold:
// normal (model 1) with the residual variance per case, binomial (2) or Poisson (other) counts per point
// divided by irep. The first call computes the residual variance from the observed y and the fitted sy.
// Points are drawn in order, all from the one stream of state.seed.
void reboot(std::span<double> y, std::span<const double> sy, std::span<const float> syold,
            std::span<const int> irep, int n, Model model, RebootState& state);

}  // namespace trov
