#pragma once

#include <string_view>

// Texts of trov.out that the engine writes.
namespace trov::results_text {

inline constexpr std::string_view observations = "No. of observations =";
inline constexpr std::string_view unique_x = "No. of unique X-values =";
inline constexpr std::string_view unique_x_and_covariate = "No. of unique X and covariate values =";
inline constexpr std::string_view levels = "Levels of the covariate =";
inline constexpr std::string_view grid_steps = "No. of grid steps =    ";
inline constexpr std::string_view range = " Range of lambdas =     ";
inline constexpr std::string_view fixed_lambda = " Fixed lambda =    ";
inline constexpr std::string_view max_iterations = "Max no. of iterations =";
inline constexpr std::string_view tolerance = " Convergence tolerance =";
inline constexpr std::string_view search = " Search for minimizer of cross validation function";
inline constexpr std::string_view covariate_fitted = " Covariate fitted simultaneously";
inline constexpr std::string_view grid_heading = " ln(lambda)   #parameters      GCV score       OCV score ";
inline constexpr std::string_view grid_heading_covariate = " ln(lambda)   #parameters      GCV score";
inline constexpr std::string_view iterations_column = "    #iter";
inline constexpr std::string_view fitted_heading_normal = "         Y          X        N        Yhat  ";
inline constexpr std::string_view fitted_heading_binomial =
    "         Y          X        N        Yhat   ln Yhat/(1-Yhat)";
inline constexpr std::string_view fitted_heading_poisson =
    "         Y          X        N        Yhat      ln Yhat   ";
inline constexpr std::string_view coefficients = "Covariate coefficients =";
inline constexpr std::string_view level_columns = " Last columns are fitted Yhats for each covariate level,";
inline constexpr std::string_view in_order = " in order:";
inline constexpr std::string_view fitted_values_arrow = "     Fitted values ->";
inline constexpr std::string_view continuous_coefficients = "covariate coefficients (intercept,slope):";
inline constexpr std::string_view bootstrap_summary = " Summary of bootstrap results";
inline constexpr std::string_view replications = " Number of bootstrap replications =";
inline constexpr std::string_view degenerate = " Number of times bootstrap sample of Y was degenerate = ";
inline constexpr std::string_view bootstrap_heading_start = "Y          X          Yhat     Yhat-1SE";
inline constexpr std::string_view bootstrap_heading_end = "    Yhat+1SE";

}  // namespace trov::results_text
