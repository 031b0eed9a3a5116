#include "engine/analysis/pooling.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <numeric>
#include <vector>

#include "engine/analysis/faults.h"

namespace trov {

namespace {

template <typename T>
void permute(std::vector<T>& values, std::span<const int> perm, int count, int offset) {
  std::vector<T> copy(values.begin() + offset, values.begin() + offset + count);
  for (int i = 0; i < count; ++i)
    values[static_cast<std::size_t>(offset + i)] = copy[static_cast<std::size_t>(perm[i])];
}

}  // namespace

void dpsort(std::span<const double> values, int count, std::span<int> perm, const std::atomic<bool>* stop) {
  std::iota(perm.begin(), perm.begin() + count, 0);
  const auto less = [&](int a, int b) { return values[a] < values[b]; };
  constexpr int kBlock = 1 << 20;
  if (!stop || count <= kBlock) {
    std::stable_sort(perm.begin(), perm.begin() + count, less);
    return;
  }
  // blocks sorted, then merged pairwise (stable, so the order is stable_sort's), the stop looked at
  // between them
  const auto check = [&] {
    if (stop->load(std::memory_order_relaxed)) throw RunStopped{};
  };
  const std::int64_t total = count;
  const auto at = [&](std::int64_t k) {
    return perm.begin() + static_cast<std::ptrdiff_t>(std::min(k, total));
  };
  for (std::int64_t first = 0; first < total; first += kBlock) {
    std::stable_sort(at(first), at(first + kBlock), less);
    check();
  }
  for (std::int64_t width = kBlock; width < total; width *= 2)
    for (std::int64_t first = 0; first + width < total; first += 2 * width) {
      std::inplace_merge(at(first), at(first + width), at(first + 2 * width), less);
      check();
    }
}

void organizedata(Points& p, bool covariate, const std::atomic<bool>* stop) {
  const int nraw = p.cases;
  std::vector<int> perm(static_cast<std::size_t>(nraw));
  dpsort(p.x, nraw, perm, stop);
  permute(p.y, perm, nraw, 0);
  permute(p.x, perm, nraw, 0);
  permute(p.covariate, perm, nraw, 0);
  permute(p.counts, perm, nraw, 0);
  if (covariate) {  // within each run of equal X, order the cases by their covariate value
    for (int start = 0; start < nraw;) {
      int end = start + 1;
      while (end < nraw && p.x[end] == p.x[start]) ++end;
      int length = end - start;
      dpsort(std::span<const double>(p.covariate).subspan(static_cast<std::size_t>(start)), length, perm);
      permute(p.covariate, perm, length, start);
      permute(p.y, perm, length, start);
      permute(p.counts, perm, length, start);
      start = end;
    }
  }
  for (int i = 0; i < nraw; ++i) p.counts[i] = std::max(p.counts[i], 1);

  int n = 0;
  for (int start = 0; start < nraw;) {
    int end = start + 1;
    while (end < nraw && p.x[end] == p.x[start] && (!covariate || p.covariate[end] == p.covariate[start]))
      ++end;
    double y = p.y[start];
    long long total = p.counts[start];
    if (end - start > 1) {  // a group of one case keeps its Y unchanged
      double sum = p.counts[start] * p.y[start];
      for (int k = start + 1; k < end; ++k) {
        sum += p.counts[k] * p.y[k];
        total += p.counts[k];
      }
      if (total > INT_MAX) throw RunFault{.fault = Fault::counts_overflow};
      y = sum / static_cast<double>(total);
      for (int k = start; k < end; ++k) p.spread += p.counts[k] * ((p.y[k] - y) * (p.y[k] - y));
    }
    p.x[n] = p.x[start];
    p.covariate[n] = p.covariate[start];
    p.y[n] = y;
    p.counts[n] = static_cast<int>(total);
    ++n;
    start = end;
  }
  p.n = n;
  for (auto* column : {&p.x, &p.y, &p.covariate}) column->resize(static_cast<std::size_t>(n));
  p.counts.resize(static_cast<std::size_t>(n));
}

bool vartest(std::span<const double> y, int n) {
  for (int i = 1; i < n; ++i)
    if (y[i] != y[0]) return false;
  return true;
}

void check_points(const Points& p, Model model) {
  // one point pools every case: its X, not its Y, is what cannot vary
  if (p.n == 1 || vartest(p.x, p.n)) throw RunFault{.fault = Fault::constant_trait};
  if (vartest(p.y, p.n)) throw RunFault{.fault = Fault::no_variance};
  if (model != Model::normal) {
    for (int i = 0; i < p.n; ++i) {
      if (p.y[i] < 0) throw RunFault{.fault = Fault::negative_y};
      if (model == Model::binomial && p.y[i] > 1) throw RunFault{.fault = Fault::binomial_y_above_one};
    }
  }
  int distinct = 1;
  for (int i = 1; i < p.n; ++i)
    if (p.x[i] != p.x[i - 1]) ++distinct;
  if (distinct < 4) throw RunFault{.fault = Fault::too_few_distinct_x};
}

}  // namespace trov
