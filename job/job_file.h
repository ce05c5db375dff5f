// Job files (".zv5"): CP932 text, a caption line and the "[FmUnit1]" section of the saved
// controls.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "job/file_result.h"
#include "job/file_stamp.h"
#include "job/job_controls.h"
#include "job/job_window.h"

namespace zarvel::job {

// Largest job file read; anything beyond is ignored.
inline constexpr std::size_t kMaxJobFileSize = 16 * 1024 * 1024;

// Whether these bytes are a job file: CP932 text (no NUL or other control bytes but tab and
// line ends, no byte sequence CP932 lacks) with a "[FmUnit1]" section line. The one answer to
// "is this a job" for the window and the commands.
bool IsJobText(std::string_view content);
// The reason a file that is not a job is refused: "仕事のファイルではありません" (CP932).
const std::string& NotAJobReason();

// What a load found beyond the values: the saved controls of the first job files that the file
// did not name (they were given a fresh job's values), the lists whose rows stopped before the
// count the file declared (a file cut short: they hold the rows there were), and a date no
// calendar has (shown as the file holds it).
struct JobLoad {
  std::vector<JobControl> missing;
  std::vector<JobControl> cut_short;
  bool impossible_date = false;
  FileStamp stamp;  // the file as it was read
  // Everything the job had is in the window: saving it gives the file back.
  bool Complete() const { return missing.empty() && cut_short.empty(); }
  // Whether there is anything to tell the user.
  bool Noteworthy() const { return !Complete() || impossible_date; }
};

// Loads the job file into the window. A file that cannot be read, is too large
// (kMaxJobFileSize) or is not a job (IsJobText) is refused and the window is left exactly as it
// was, with its unsaved changes. Otherwise the controls the file names take its values, the
// others a fresh job's, the grids are set up and re-laid out, and the modified flag is cleared.
// `path` is a file system path (UTF-8).
FileResult OpenJobFile(JobWindow& window, const std::string& path, JobLoad* load = nullptr);

// The part of OpenJobFile after reading and checking: loads the content (if any), gives the
// controls it does not name a fresh job's values, sets up the grid frames, re-lays out the
// grids and, with content, clears the modified flag.
void LoadJobText(JobWindow& window, const std::string* content, JobLoad* load = nullptr);

// Every saved control back to a fresh job's value (as the program starts).
void ApplyFreshJob(JobWindow& window);

// Writes the caption and the saved controls, CR LF ended. The file is replaced only when the
// new one is completely written: a failed save leaves the old file as it was. Clears the
// modified flag on success, and gives the stamp of the file written when asked.
FileResult WriteJobFile(JobWindow& window, const std::string& path, FileStamp* written = nullptr);

// The lines WriteJobFile writes.
std::vector<std::string> JobFileLines(JobWindow& window);

// The path with its extension made ".zv5": one that is ".zv5" in any letter case is kept,
// another is replaced, a missing one added (UTF-8). For a name to open.
std::string WithJobExtension(const std::string& path);
// The name a job is saved under: ".zv5" added unless the name ends with it (in any letter
// case). Nothing after a point is taken for an extension: "H-200×100×5.5×8" stays whole.
std::string SaveName(const std::string& path);

// "[×]" + folder (with its trailing separator) + "\n" + file name + "\nは読み込めません" (CP932),
// and the reason on a line of its own when one is given.
std::string CannotReadMessage(const std::string& path, const std::string& reason = {});
// The same for a failed save: "...\nには書き込めません".
std::string CannotWriteMessage(const std::string& path, const std::string& reason = {});
// The note after loading an incomplete job: the file, the lists cut short, what it lacked (now a
// fresh job's) and an impossible date, each named.
std::string IncompleteJobMessage(const std::string& path, const JobLoad& load);
// A name the job lists cannot record: "...\nのファイル名に保存できない文字が含まれています".
std::string UnsavableNameMessage(const std::string& path);

}  // namespace zarvel::job
