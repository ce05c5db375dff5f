// Parts lists as detailing programs and spreadsheets export them (CSV, TSV, text): the columns a
// user names instead of a heading, and a list's rows made into parts. The lines themselves are
// read by the cut-list reader (job/cut_csv.h), so a list reads alike in both places.
#pragma once

#include <string>
#include <vector>

#include "exchange/part_import.h"
#include "job/cut_csv.h"

namespace zarvel::exchange {

// Reads "符号=1,断面=2,長さ=4,本数=5" (CP932; 1-based columns; 材質, 用途 and 単位重量 too), or
// the same with the English names mark, section, grade, usage, length, count and weight. A
// length column is needed. On a bad text answers false with the reason (CP932) in `error`.
bool ParseColumnChoice(const std::string& text, job::ColumnChoice& choice, std::string& error);
// The columns as ParseColumnChoice reads them, with the Japanese names (CP932).
std::string ColumnChoiceText(const job::ColumnChoice& choice);

struct PartList {
  bool ok = false;
  bool headed = false;  // a heading line named the columns
  std::vector<ImportPart> parts;
  ListedFile refused;         // when !ok: the file and why
  int skipped_lines = 0;      // title and total lines
  job::ColumnChoice columns;  // the columns it was read by
};

// The list's rows as parts of `file` (UTF-8 path): a list without a section column is one job
// named after the file; one with a section column whose cell is blank on some rows is refused,
// naming them (a merged cell is never filled from above).
PartList ReadPartList(const std::string& file, const std::string& bytes,
                      const job::ColumnChoice* choice);

}  // namespace zarvel::exchange
