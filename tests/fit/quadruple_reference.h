#pragma once

#include <vector>

namespace trov::test {

// The fitted values at the knots x of the cubic smoothing spline for the responses y with these
// weights and penalty, by Reinsch's band equations (R + penalty Q'W^-1 Q) gamma = Q'y,
// f = y - penalty W^-1 Q gamma, in quadruple precision: at many close knots and a large penalty they
// are too ill-conditioned for double precision, or even for a dense solve in extended precision.
std::vector<double> quadruple_smoothing(double penalty, const std::vector<double>& x,
                                        const std::vector<double>& y, const std::vector<double>& weight);

}  // namespace trov::test
