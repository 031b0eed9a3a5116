#pragma once
// The files of a run in the working directory, and the copy of the results under the user's name.
#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_identity.h"

namespace trov::front {

// The files the front end and the engine write in the working directory; a data file or an output
// name must be none of them, nor one of the engine's temporary files of trov.json (run_file_named).
// The first two hold the settings, the others the results of a run.
inline constexpr std::array<std::string_view, 19> kRunFiles = {"trov.in",
                                                               "trov.options",
                                                               "trov.out",
                                                               "trov.wmf",
                                                               "trov.json",
                                                               "trov.png",
                                                               "trov.svg",
                                                               "trov.pdf",
                                                               "trov_caption.txt",
                                                               "trov_plot.csv",
                                                               "trov_plot.R",
                                                               "trov_plot.py",
                                                               "trov_traits.png",
                                                               "trov_traits.svg",
                                                               "trov_traits.pdf",
                                                               "trov_traits_caption.txt",
                                                               "trov_traits_plot.csv",
                                                               "trov_traits_plot.R",
                                                               "trov_traits_plot.py"};
inline constexpr std::size_t kSettingsFiles = 2;
inline constexpr std::string_view kEngineTemporaryPrefix = "trov.json.tmp";

// The run file a name leads to (one of kRunFiles, or "a temporary file of trov.json" for a name in the
// working directory that starts with kEngineTemporaryPrefix); empty for other files.
std::string_view run_file_named(const std::filesystem::path& name);

using trov::same_file;  // whether two names lead to one file (common/file_identity.h)

// One result of a run and the name of its copy.
struct ResultCopy {
  std::string_view source;  // trov.out, trov.wmf, trov.json or a figure
  std::filesystem::path target;
};

// The copies an output name asks for: trov.out under the name itself, then the other results under the
// same stem with their own endings ("run1.out" gives run1.wmf, run1.json, run1.png, run1.svg, run1.pdf,
// run1_caption.txt, run1_plot.csv, run1_plot.R and run1_plot.py; after an analysis of several traits
// also run1_traits.png, .svg, .pdf, run1_traits_caption.txt, run1_traits_plot.csv, .R and .py).
std::vector<ResultCopy> result_copies(const std::string& output_name);

// Deletes the results of the last run (trov.out, trov.wmf, trov.json and the figures), so none survives
// into the next.
void remove_results();

// Copies the results under the output name (result_copies): each into a new temporary file in the
// target's folder, then renamed over the name, so that a failed copy never leaves a half-written file
// there. A result the run did not write takes its old copy away, so that the copies stay one run's. An
// empty name, or one that leads to trov.out itself, needs no copy; nor does a result that is its own
// copy. Each copy written is recorded as trovwin's (common/written_files.h), so a later run replaces it
// without asking. Returns an empty text, or why a copy failed (naming the copy unless it is that of
// trov.out).
std::string copy_results(const std::string& output_name);

}  // namespace trov::front
