#include "engine/spline/glisp.h"

namespace trov {

GlispWork::GlispWork(int capacity) : spline(capacity), z(capacity), dy(capacity), prev(capacity), lev(capacity) {}

void glisp(double, int, std::span<const double>, std::span<const double>, std::span<double>,
           std::span<double>, double&, double&, double&, int, double, int&, int, std::span<const int>,
           int&, double, double, GlispWork&) {}

}  // namespace trov
