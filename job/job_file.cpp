#include "job/job_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "text/cp932.h"
#include "text/format.h"

namespace zarvel::job {
namespace {

bool ReadFile(const std::string& path, std::string& out) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  out.clear();
  char buffer[65536];
  std::size_t n;
  while (out.size() < kMaxJobFileSize && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
    out.append(buffer, std::min(n, kMaxJobFileSize - out.size()));
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok;
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes to a temporary file beside the target and renames it over the target, so that the
// target is always either the old file or the complete new one.
bool ReplaceFile(const std::string& path, const std::string& data) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  std::string temp = (slash == std::string::npos ? std::string() : folder) + ".zv5-save-XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  // Keep the permissions an existing file had; a new file gets the usual ones.
  struct stat st {};
  const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  bool ok = ::fchmod(fd, mode) == 0 || errno == EPERM;
  ok = ok && WriteAll(fd, data) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

std::string PathMessage(const std::string& path, const char* utf8_tail) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return text::Lit("[×]") + text::Utf8ToCp932(folder) + "\n" + text::Utf8ToCp932(name) +
         text::Lit(utf8_tail);
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    std::size_t j = i;
    while (j < n && text[j] != '\r' && text[j] != '\n') ++j;
    lines.push_back(text.substr(i, std::min(j - i, kMaxLineLength)));
    if (j < n && text[j] == '\r' && j + 1 < n && text[j + 1] == '\n') ++j;
    i = j + 1;
  }
  return lines;
}

bool OpenJobFile(JobWindow& window, const std::string& path) {
  std::string content;
  const bool exists = ReadFile(path, content);
  if (exists) LoadFormState(SplitLines(content), kFormSection, window.PersistentControls());
  window.GridFrameSetup();
  window.RelayoutGrids();
  window.AfterLoad();
  window.SetDataModified(false);
  return exists;
}

std::vector<std::string> JobFileLines(JobWindow& window) {
  std::vector<std::string> lines{window.Caption()};
  SaveFormState(lines, kFormSection, window.PersistentControls());
  return lines;
}

bool WriteJobFile(JobWindow& window, const std::string& path) {
  std::string data;
  for (const std::string& line : JobFileLines(window)) {
    data += line;
    data += "\r\n";
  }
  if (!ReplaceFile(path, data)) return false;
  window.SetDataModified(false);
  return true;
}

std::string CannotReadMessage(const std::string& path) {
  return PathMessage(path, "\nは読み込めません");
}

std::string CannotWriteMessage(const std::string& path) {
  return PathMessage(path, "\nには書き込めません");
}

}  // namespace zarvel::job
