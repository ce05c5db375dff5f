// Job files (".zv5"): CP932 text, a caption line and the "[FmUnit1]" section of the saved
// controls.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "job/file_result.h"
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
// did not name (they were given a fresh job's values).
struct JobLoad {
  std::vector<JobControl> missing;
  bool Complete() const { return missing.empty(); }
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
// modified flag on success.
FileResult WriteJobFile(JobWindow& window, const std::string& path);

// The lines WriteJobFile writes.
std::vector<std::string> JobFileLines(JobWindow& window);

// The path with its extension made ".zv5": one that is ".zv5" in any letter case is kept,
// another is replaced, a missing one added (UTF-8).
std::string WithJobExtension(const std::string& path);

// "[×]" + folder (with its trailing separator) + "\n" + file name + "\nは読み込めません" (CP932),
// and the reason on a line of its own when one is given.
std::string CannotReadMessage(const std::string& path, const std::string& reason = {});
// The same for a failed save: "...\nには書き込めません".
std::string CannotWriteMessage(const std::string& path, const std::string& reason = {});
// The note after loading an incomplete job: the file and what it lacked, now a fresh job's.
std::string IncompleteJobMessage(const std::string& path, const JobLoad& load);
// A name the job lists cannot record: "...\nのファイル名に保存できない文字が含まれています".
std::string UnsavableNameMessage(const std::string& path);

}  // namespace zarvel::job
