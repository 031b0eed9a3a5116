#pragma once

namespace trov {

// The generalized cross-validation score n S / (n - edf)^2 of a fit to n points (the points, not the
// cases) with the weighted sum of squared residuals S and edf effective parameters: the classic fits'
// and the converged fits' GCV.
inline double gcv_score(double points, double squares, double edf) {
  return points * squares / ((points - edf) * (points - edf));
}

}  // namespace trov
