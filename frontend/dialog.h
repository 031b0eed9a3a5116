#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "frontend/settings_file.h"

namespace trov::front {

// Labels of the dialog's number fields, as the messages about them quote them.
namespace label {
inline constexpr std::string_view fixed = "Enter fixed lambda";
inline constexpr std::string_view smallest = "Smallest lambda of range";
inline constexpr std::string_view largest = "Largest lambda of range";
inline constexpr std::string_view number = "Number of lambdas in range";
inline constexpr std::string_view boot = "No. bootstrap replicates";
inline constexpr std::string_view seed = "Random number seed";
inline constexpr std::string_view tolerance = "convergence tolerance";
inline constexpr std::string_view iterations = "maximum no. iterations";
inline constexpr std::string_view x_title = "Figure X title";
inline constexpr std::string_view y_title = "Figure Y title";
}  // namespace label

// Shows the settings dialog with the held values and waits. OK (also Return in a field) takes the values
// back into `values` in the order trov.in is written and returns true; Quit and the close box return
// false without taking the dialog's entries back.
bool run_dialog(DialogValues& values);

// The widgets a user works with in the dialog last built, each with a name that says which it is
// ("fixed_lambda", "model_list", "ok"), and its identifier.
std::vector<std::pair<std::string_view, int>> dialog_widgets();

}  // namespace trov::front
