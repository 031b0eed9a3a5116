#pragma once

#include <atomic>
#include <span>

#include "engine/core/model.h"
#include "engine/core/points.h"

namespace trov {

// Sorts the cases by X (and covariate within equal X when there is one) and pools them into points.
// Counts of one point beyond the largest int throw a RunFault; a stop asked meanwhile, RunStopped.
void organizedata(Points& points, bool covariate, const std::atomic<bool>* stop = nullptr);

// Increasing index sort of values(0..count-1) into perm; stable, so equal values keep their order. A
// sort of millions looks at `stop` between blocks and throws RunStopped once it is set.
void dpsort(std::span<const double> values, int count, std::span<int> perm,
            const std::atomic<bool>* stop = nullptr);

// True when y(1..n-1) all equal y(0) exactly, also when n = 1.
bool vartest(std::span<const double> y, int n);

// The checks on the pooled responses, in order, each throwing its RunFault: no variance, Y against
// the model, and fewer than 4 distinct X, where the spline is undefined.
void check_points(const Points& points, Model model);

}  // namespace trov
