// Reading the files detailing software writes: DSTV part files (".nc1", ".nc") and parts lists
// (".csv", ".txt", ".tsv"), named one by one or found in folders. One reader for the import
// command and the window's import dialog.
#pragma once

#include <string>
#include <vector>

#include "exchange/part_import.h"
#include "job/cut_csv.h"

namespace zarvel::exchange {

struct ListedFile {
  std::string file;
  std::string reason;  // UTF-8
};

struct PartFiles {
  std::vector<ImportPart> parts;
  std::vector<ListedFile> left_out;  // read, but not for the saw (plates)
  std::vector<ListedFile> refused;   // could not be read, with the field and the reason
  int files_read = 0;
  int skipped_lines = 0;  // title and total lines of the lists
  // The last list read (UTF-8 path; empty when none) and the columns it was read by.
  std::string last_list;
  job::ColumnChoice columns;
};

struct PartFileOptions {
  bool include_plates = false;
  const job::ColumnChoice* columns = nullptr;  // for lists: instead of their headings
};

// Reads every file named; folders are searched recursively for part files and lists, in name
// order, so that every run reads them alike. A file met twice (named and in a folder, or through
// a link) is read once.
PartFiles ReadPartFiles(const std::vector<std::string>& inputs, const PartFileOptions& options);

}  // namespace zarvel::exchange
