#pragma once
// A table as spreadsheets export it: comma-, semicolon-, tab- or blank-separated text, with or without
// a header row of column names, quoted fields ("" inside a quoted field is one quote; a quoted field may
// hold separators and line ends), a UTF-8 byte-order mark, and LF, CR LF or lone CR line ends. The text
// is UTF-8 (import/encoding.h turns the other encodings of spreadsheets into it).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trov::import {

// The text with its ASCII letters in lower case, for words compared in any case.
std::string lower(std::string_view text);

// Text as a message shows it, on one line: control characters and bytes that are not UTF-8 as \xNN, and
// beyond `most` characters cut, with "..." (a cell may be megabytes long).
std::string shown(std::string_view text, std::size_t most = 40);

// Text fit for a title or a level's name: control characters (a line break in a quoted cell) as blanks,
// without blanks around.
std::string blanked(std::string_view text);

struct Table {
  std::vector<std::string> names;  // the header's names, or "1", "2", ... without a header
  bool header = false;
  char separator = ',';            // ',', ';', '\t' or ' ' (runs of blanks)
  std::string encoding = "UTF-8";  // what the file was written in (import/encoding.h)
  struct Row {
    int line = 0;                    // the 1-based line of the text where the row starts
    std::vector<std::string> cells;  // without quotes and outer blanks; quoted: whether each was
    std::vector<bool> quoted;
  };
  std::vector<Row> rows;  // the data rows, without empty ones
};

// Reads the table; nothing, or why the text is no table (naming the line).
std::optional<std::string> read_table(std::string_view text, Table& table);

// The index of the column with this name (exactly, else the only one that matches ignoring case, else
// a 1-based column number), or why there is none.
std::optional<std::string> find_column(const Table& table, std::string_view name, std::size_t& index);

// A cell as the number it holds: a decimal point, or a decimal comma where commas do not separate the
// table's fields (or the cell was quoted); an exponent; blanks around. Nothing for any other text.
std::optional<double> number_in(const Table& table, const std::string& cell, bool quoted);

// An empty cell (or one of blanks and control characters alone), NA, NaN or '.' (any case): a missing
// value.
bool is_missing(std::string_view cell);

}  // namespace trov::import
