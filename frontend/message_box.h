#pragma once
// The front end's message boxes. Each kind has its own caption, which names what the box is about.
#include <string>
#include <string_view>

namespace trov::front {

namespace caption {
inline constexpr std::string_view last_settings = "Settings of the last run";  // trov.in unusable
inline constexpr std::string_view settings = "Check the settings";             // a number field
inline constexpr std::string_view file_names = "File names";                   // data and output names
inline constexpr std::string_view structure = "Data file structure";           // the question before a run
inline constexpr std::string_view engine_stopped = "The engine stopped";
inline constexpr std::string_view cancelled = "Run cancelled";  // Cancel in the run's window
inline constexpr std::string_view warnings = "Warnings of the engine";
inline constexpr std::string_view no_plot = "No plot";
inline constexpr std::string_view figures = "Figures";  // trov.png, trov.svg, trov.pdf not written
inline constexpr std::string_view copy = "Copy of the results";
inline constexpr std::string_view trov_in = "trov.in";          // it cannot be written
inline constexpr std::string_view replace = "Replace files";    // files the program did not write
inline constexpr std::string_view imported = "Table imported";  // what the import wrote and left out
}  // namespace caption

// A message box with an OK button; returns when the user closes it.
void tell(std::string_view caption, const std::string& text);

// A question whose safe answer is the default: Return, Escape and the close box give it; the other
// answer takes a click or Alt and its underlined letter ('&' marks it in the label). True for the other.
bool ask(std::string_view caption, const std::string& text, const char* safe, const char* other);

// A question with the buttons "Back to the dialog" (Return, Escape) and "Run anyway" (Alt+R); true to run.
bool run_anyway(std::string_view caption, const std::string& text);

}  // namespace trov::front
