#pragma once
// The files trov's programs wrote for the user (copies of results, imported data files), so that a
// later run may replace them without asking while a file of the user's own is never replaced unasked.
// Each folder keeps a record, .trov-written, of the names written in it with a hash of their content:
// a file counts as ours while it still holds what we wrote. Nothing inside the files marks them, so a
// copy of trov.out stays byte for byte trov.out.
#include <filesystem>

namespace trov {

inline constexpr const char* kWrittenRecord = ".trov-written";

// True when the file does not exist, or exists and holds what the record says we wrote under its name.
bool replaceable(const std::filesystem::path& file);

// Records the file as written by us with its present content (a missing file is taken off the record).
// A record that cannot be written is passed over: the next write then asks once more.
void record_written(const std::filesystem::path& file);

}  // namespace trov
