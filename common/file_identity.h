#pragma once
// Whether two names lead to one file, for the programs that must never write over a file they read or
// another program's file, under whatever name or link the user gives.
#include <filesystem>

namespace trov {

// The path made absolute and normalised, symbolic links in its existing part resolved.
std::filesystem::path normalised(const std::filesystem::path& p);

// Whether two names lead to the same file: device and inode when both exist, otherwise the same path
// once normalised.
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace trov
