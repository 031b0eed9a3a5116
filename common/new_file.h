#pragma once
// Files written whole and put in place by a rename: the text goes to a new file beside the target,
// created exclusively under a random name (O_CREAT | O_EXCL | O_NOFOLLOW), so that neither an existing
// file nor a link planted under a guessable name is ever written through, and a reader sees the old
// file or the new one, never a part.
#include <optional>
#include <string>
#include <string_view>

namespace trov {

// Creates a new file named `prefix`, a dot and eight random letters or digits: its descriptor (opened
// for writing) and `name`, or -1 with errno set.
int create_new_file(const std::string& prefix, std::string& name);

// Writes the whole text to the descriptor; false with errno set.
bool write_all(int fd, std::string_view text);

// Writes the text to a new file beside `path` (named `path`.new.XXXXXXXX) and renames it over `path`
// (a link at `path` is replaced, not followed). Nothing, or why not (the new file is then removed).
std::optional<std::string> replace_file(const std::string& path, std::string_view text);

}  // namespace trov
