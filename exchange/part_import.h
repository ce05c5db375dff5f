// Parts from detailing software (DSTV part files, CSV parts lists) made into jobs: one job per
// profile, its cut list with the piece marks, the rest from a template job.
#pragma once

#include <string>
#include <vector>

#include "job/cut_csv.h"
#include "job/file_result.h"
#include "optimiser/records.h"

namespace zarvel::exchange {

struct ImportPart {
  std::string source;   // the file it came from (UTF-8 path)
  std::string mark;     // UTF-8
  std::string profile;  // UTF-8, blanks folded; empty: the job's own section
  std::string grade;    // UTF-8
  double length = 0;    // mm as written; rounded up to whole millimetres in the job
  long long quantity = 0;
  double kg_per_m = 0;  // the file's weight per metre; 0: not given
};

struct ImportedJob {
  std::string profile;                      // UTF-8, as the files give it
  std::string section;                      // UTF-8: the section table's name, else the profile
  double unit_weight = 0;                   // the table's, else the first the files give
  std::vector<job::CutPiece> pieces;        // whole mm, equal lengths merged, longest first
  std::vector<optimiser::PieceMark> marks;  // CP932
  int part = 1;                             // this job's place when a profile needs several jobs
  int parts = 1;                            // jobs of this profile
  int rounded = 0;                    // pieces whose length was rounded up to a whole millimetre
  std::vector<std::string> warnings;  // UTF-8: pieces no stock can give, and such
  std::string file;                   // the job file written (UTF-8)
};

// Groups parts by profile, in the order profiles are first met; a profile with more lengths
// than `capacity` becomes several jobs of at most that many.
std::vector<ImportedJob> GroupParts(const std::vector<ImportPart>& parts, int capacity);

// Writes the job into `folder` under a name made from its section (never over an existing file:
// "name (2).zv5" and so on), taking the stock list, conditions and project name from the
// template job (or a fresh job when `template_path` is empty). Adds to `job.warnings` the pieces
// longer than the longest stock plus the margin, or shorter than 2 mm.
job::FileResult WriteImportedJob(ImportedJob& job, const std::string& folder,
                                 const std::string& template_path);

// A file name (without extension) from a profile: characters a file system or a shell would
// take otherwise ("/", "*", ":", ...) become "_".
std::string SafeFileName(const std::string& utf8);

}  // namespace zarvel::exchange
