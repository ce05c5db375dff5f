// Parts lists as detailing programs and spreadsheets export them (CSV, TSV, text): the columns a
// user names instead of a heading, and a list's rows made into parts. The lines themselves are
// read by the cut-list reader (job/cut_csv.h), so a list reads alike in both places.
#pragma once

#include <string>
#include <vector>

#include "exchange/part_import.h"
#include "job/cut_csv.h"

namespace zarvel::exchange {

// Reads "mark=1,section=2,length=4,count=5" (1-based columns; grade, usage and weight too). A
// length column is needed. On a bad text answers false with the reason (CP932) in `error`.
bool ParseColumnChoice(const std::string& text, job::ColumnChoice& choice, std::string& error);

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
