// Reading the files detailing software writes: DSTV part files (".nc1", ".nc") and parts lists
// (".csv", ".txt", ".tsv"), named one by one or found in folders. One reader for the import
// command and the window's import dialog.
#pragma once

#include <string>
#include <vector>

#include "exchange/part_import.h"
#include "job/cut_csv.h"

namespace zarvel::exchange {

struct PartFiles {
  std::vector<ImportPart> parts;
  std::vector<ListedFile> left_out;  // read, but not for the saw (plates, text that is no list)
  std::vector<ListedFile> refused;   // could not be read, with the field and the reason
  std::vector<ListedFile> repeats;   // parts met again in another file, counted once
  int files_read = 0;
  int skipped_lines = 0;  // title and total lines of the lists
  // The last list read (UTF-8 path; empty when none) and the columns it was read by.
  std::string last_list;
  job::ColumnChoice columns;
};

struct PartFileOptions {
  bool include_plates = false;
  const job::ColumnChoice* columns = nullptr;  // for lists: instead of their headings
  // The same mark with the same length and material in two files is counted in each (revisions
  // that add up); otherwise it is counted once and the repeats are listed.
  bool sum_repeats = false;
};

// Reads every file named; folders are searched recursively for part files and lists, in name
// order, so that every run reads them alike. A file met twice (named and in a folder, or through
// a link) is read once. A folder that cannot be read, or holds no part file or list, is refused
// by name; a ".txt" found in a folder is read only when a heading names its columns. A file
// named whatever its extension is read as a part file when it begins like one.
// A mark met in two files with two lengths or materials is refused in both, naming them.
PartFiles ReadPartFiles(const std::vector<std::string>& inputs, const PartFileOptions& options);

}  // namespace zarvel::exchange
