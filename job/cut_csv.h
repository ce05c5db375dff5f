// A cut list from a CSV file: lines of length and count, as detailing software and
// spreadsheets write them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "optimiser/records.h"
#include "run/grid.h"

namespace zarvel::job {

// Largest cut-list file read.
inline constexpr std::size_t kMaxCutCsvSize = 4 * 1024 * 1024;
inline constexpr int32_t kMaxCutCsvLength = 99999;  // mm; the cell's five digits
inline constexpr int32_t kMaxCutCsvCount = 99999;

struct CutPiece {
  int32_t length = 0;
  int32_t count = 0;
};

// One line of a parts list, with what its named columns say of it (CP932; empty where the file
// has no such column).
struct CsvPart {
  std::string mark;
  std::string section;
  std::string grade;
  int32_t length = 0;
  int32_t count = 0;
};

// Columns chosen by the user instead of by a heading (0-based; -1: none).
struct ColumnChoice {
  int length = -1;
  int count = -1;
  int mark = -1;
  int section = -1;
  int grade = -1;
};

// Reads "符号=1,断面=2,長さ=4,本数=5" (CP932; 1-based columns; 材質 too), or the same with the
// English names mark, section, grade, length and count. A length column is needed. On a bad
// text answers false with the reason (CP932) in `error`.
bool ParseColumnChoice(const std::string& text, ColumnChoice& choice, std::string& error);
// The columns as ParseColumnChoice reads them, with the Japanese names (CP932).
std::string ColumnChoiceText(const ColumnChoice& choice);

struct CutCsv {
  bool ok = false;
  std::vector<CutPiece> pieces;       // equal lengths merged, in the order they first appear
  std::vector<CsvPart> parts;         // every line read, in file order
  std::vector<std::string> sections;  // the sections named, each once, in the order met
  ColumnChoice columns;               // the columns read (from the heading, or by position)
  std::string error;       // CP932, without the file name: what is wrong and on which line
  int titles_skipped = 0;  // lines before the list that are neither heading nor piece
  int totals_skipped = 0;  // total rows (合計, 計, ...)
};

// Reads the bytes of a cut-list file: CP932 or UTF-8 (with or without a byte-order mark;
// UTF-16 with one; without one it is named, not read). Fields are separated by a comma, TAB
// or semicolon; full-width commas and points read as ASCII ones. A heading line that names
// the length (長さ, 寸法, Length, "長さ(mm)", ...) and the count (本数, 数量, Qty, ...) decides
// the columns; without one a line is a length and a count (a missing count is 1) and a third
// number is refused. Blank lines are skipped; title lines before the list and total rows
// (合計, 計) are skipped and counted. A number written with an unquoted comma ("3,500,4",
// "3,50") is refused. At most `capacity` different lengths.
// A heading may also name the piece mark (符号, マーク, Mark), the section (断面, 部材, 鋼材,
// Profile, Section) and the grade (材質, Grade); `choice` (may be null) overrides the heading.
CutCsv ReadCutCsv(const std::string& bytes, int capacity, const ColumnChoice* choice = nullptr);

// The first `rows` lines that hold anything, split into their fields (CP932), as the reader
// splits them: for showing which column is which.
std::vector<std::vector<std::string>> CsvPreview(const std::string& bytes, int rows);

// The cut list's capacity in the grid: its data cells.
int GridCapacity(const run::Grid& grid);

// Empties the grid's data cells and writes the pieces row by row from the first cell.
void FillGrid(run::Grid& grid, const std::vector<CutPiece>& pieces);

// Reads the file at `path` (UTF-8) into the grid, replacing its cut list. On failure the grid
// is left as it was and `message` gets the text for the message dialog (CP932); on success
// `message` says which lines were skipped, or is empty when none were.
// The file's piece marks replace `marks` (when given). A file naming more than one section is
// refused, naming them: a cut list holds one.
bool LoadCutCsvFile(const std::string& path, run::Grid& grid, std::string& message,
                    std::vector<optimiser::PieceMark>* marks = nullptr);

}  // namespace zarvel::job
