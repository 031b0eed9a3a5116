#pragma once
// The files of a run in the working directory, and the copy of the results under the user's name.
#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace trov::front {

// The files the front end and the engine write in the working directory; a data file or an output
// name must be none of them.
inline constexpr std::array<std::string_view, 4> kRunFiles = {"trov.in", "trov.out", "trov.wmf", "trov.json"};

// Whether two names lead to the same file: device and inode when both exist, otherwise the same path
// once made absolute and normalised (symbolic links in the existing part resolved).
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b);

// Deletes the results of the last run (trov.out, trov.wmf, trov.json), so none survives into the next.
void remove_results();

// Copies trov.out under the output name: into a new temporary file in the target's folder, then renamed
// over the name, so that a failed copy never leaves a half-written file there. An empty name, or one
// that leads to trov.out itself, needs no copy. Returns an empty text, or why the copy failed.
std::string copy_results(const std::string& output_name);

}  // namespace trov::front
