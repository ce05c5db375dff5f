// Parts from detailing software (DSTV part files, CSV parts lists) made into jobs: one job per
// material (section and grade), its cut list with the piece marks, the rest from a template job.
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
  std::string grade;    // UTF-8; empty: not given
  std::string usage;    // UTF-8: the member's word (大梁), shown under the section
  double length = 0;    // mm as written; rounded up to whole millimetres in the job
  long long quantity = 0;
  double kg_per_m = 0;   // the file's weight per metre; 0: not given
  bool rounded = false;  // the reader already rounded the length up (lists)
};

// What jobs are made by: the section the table recognises (or the profile with blanks and
// letter case folded: "HEA 200" and "hea200" are one), and the grade folded alike.
std::string MaterialKey(const std::string& profile, const std::string& grade);

// A file named in the outcome: left out, refused or repeated, and why.
struct ListedFile {
  std::string file;
  std::string reason;  // UTF-8
  // The materials (MaterialKey) whose pieces the file held, as far as they could be read; empty
  // when nothing of it could be: then any job may lack its pieces.
  std::vector<std::string> materials;
};

struct ImportedJob {
  std::string profile;                      // UTF-8, as the files give it (the first spelling)
  std::string section;                      // UTF-8: the section table's name, else the profile
  std::string grade;                        // UTF-8; empty: not given
  std::string usage;                        // UTF-8: the members' words, "・" between
  std::string key;                          // MaterialKey
  double unit_weight = 0;                   // the table's, else the file's; 0: not known
  std::vector<job::CutPiece> pieces;        // whole mm, equal lengths merged, longest first
  std::vector<optimiser::PieceMark> marks;  // CP932
  int part = 1;                             // this job's place when a material needs several jobs
  int parts = 1;                            // jobs of this material
  int rounded = 0;                    // pieces whose length was rounded up to a whole millimetre
  std::vector<std::string> warnings;  // UTF-8: pieces no stock can give, and such
  std::vector<std::string> missing;   // UTF-8: files refused that may have held its pieces
  std::string file;                   // the job file written (UTF-8)

  // "H-400×200×8×13 SN490B": the section and, when known, the grade.
  std::string Name() const { return grade.empty() ? section : section + " " + grade; }
};

// Groups parts by material, in the order materials are first met; a material with more lengths
// than `capacity` becomes the fewest jobs of at most that many, each given long and short
// lengths alike (so that every job's plan can fill its bars), the same way on every run.
std::vector<ImportedJob> GroupParts(const std::vector<ImportPart>& parts, int capacity);

// The lengths (longest first, with their counts) dealt to `jobs` jobs: job k gets the lengths
// at places k, 2·jobs−1−k, 2·jobs+k, ... (back and forth), so each holds long and short pieces.
std::vector<std::vector<job::CutPiece>> SplitLengths(const std::vector<job::CutPiece>& pieces,
                                                     int jobs);

// Notes in each job the refused files that may have held its pieces (a file whose materials are
// not known concerns every job).
void NoteMissing(std::vector<ImportedJob>& jobs, const std::vector<ListedFile>& refused);

// The one-line note a job written without some of its pieces carries (UTF-8).
std::string MissingNote(const ImportedJob& job);

// Writes the job into `folder` under a name made from its section and grade (never over an
// existing file: "name (2).zv5" and so on), taking the stock list, conditions and project name
// from the template job (or a fresh job when `template_path` is empty); the template's link to
// the yard is not taken. The unit weight is the job's (empty with a warning when not known),
// never the template's. Adds to `job.warnings` the pieces longer than the longest stock plus
// the margin, or shorter than 2 mm.
job::FileResult WriteImportedJob(ImportedJob& job, const std::string& folder,
                                 const std::string& template_path);

// The same from a template's job text (CP932, as JobFileLines gives it: the window's values as
// they stand); an empty text is a fresh job.
job::FileResult WriteImportedJobFromText(ImportedJob& job, const std::string& folder,
                                         const std::string& template_text);

// A file name (without extension) from a profile: characters a file system or a shell would
// take otherwise ("/", "*", ":", ...) become "_"; a long name is cut between characters.
std::string SafeFileName(const std::string& utf8);

}  // namespace zarvel::exchange
