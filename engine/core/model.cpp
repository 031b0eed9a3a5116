#include "engine/core/model.h"

namespace trov {

std::string_view model_name(Model model) {
  switch (model) {
    case Model::binomial:
      return "binomial";
    case Model::poisson:
      return "poisson";
    default:
      return "normal";
  }
}

}  // namespace trov
