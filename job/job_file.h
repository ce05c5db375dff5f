// Job files (".zv5"): CP932 text, a caption line and the "[FmUnit1]" section of the saved
// controls.
#pragma once

#include <string>
#include <vector>

#include "job/file_result.h"
#include "job/job_window.h"

namespace zarvel::job {

// Largest job file read; anything beyond is ignored.
inline constexpr std::size_t kMaxJobFileSize = 16 * 1024 * 1024;

// Loads the job file into the window (when it can be read), then sets up the grid frames and
// re-lays out the grids in every case. The modified flag is cleared only when the file was
// read: a job that could not be replaced keeps its unsaved changes. A file larger than
// kMaxJobFileSize is refused. `path` is a file system path (UTF-8).
FileResult OpenJobFile(JobWindow& window, const std::string& path);

// The part of OpenJobFile after reading: loads the content (if any), sets up the grid frames,
// re-lays out the grids and, with content, clears the modified flag.
void LoadJobText(JobWindow& window, const std::string* content);

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
// A name the job lists cannot record: "...\nのファイル名に保存できない文字が含まれています".
std::string UnsavableNameMessage(const std::string& path);

}  // namespace zarvel::job
