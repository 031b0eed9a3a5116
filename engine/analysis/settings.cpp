#include "engine/analysis/settings.h"

namespace trov {

Score score_of(Criterion criterion) {
  switch (criterion) {
    case Criterion::ml:
      return Score::ml;
    case Criterion::gcv:
      return Score::gcv;
    case Criterion::ubre:
      return Score::ubre;
    case Criterion::ocv:
      return Score::ocv;
    case Criterion::reml:
      break;
  }
  return Score::reml;
}

}  // namespace trov
