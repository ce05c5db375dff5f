#include "job/safe_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "job/file_system.h"

namespace zarvel::job {
namespace {

// As the kernel allows.
constexpr int kMaxLinks = 40;
// mkstemp's six characters.
constexpr std::size_t kTempSuffix = 6;
// Attempts at a temporary file that a concurrent cleaner removed before we held it.
constexpr int kTempAttempts = 8;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

FileResult WriteAll(FileSystem& fs, int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = fs.Write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FileResult::FromErrno(errno);
    }
    if (n == 0) return FileResult::FromErrno(EIO);
    done += static_cast<std::size_t>(n);
  }
  return {};
}

// What is known about the target before writing.
struct Target {
  bool exists = false;
  mode_t mode = 0;
  uid_t uid = 0;
  gid_t gid = 0;
};

FileResult InspectTarget(FileSystem& fs, const std::string& path, Target& t) {
  struct stat st {};
  if (fs.LinkStat(path, st) != 0) {
    if (errno != ENOENT) return FileResult::FromErrno(errno);
    t.mode = 0666 & ~fs.Umask();
    return {};
  }
  if (S_ISDIR(st.st_mode)) return FileResult::Refused(EISDIR, NotRegularFileReason());
  // A FIFO, a device or a socket is never opened, let alone replaced.
  if (!S_ISREG(st.st_mode)) return FileResult::Refused(EINVAL, NotRegularFileReason());
  // Root may write anything, so the mode is checked itself: a file nobody may write stays.
  if ((st.st_mode & 0222) == 0) return FileResult::Refused(EACCES, WriteProtectedReason());
  if (fs.Access(path, W_OK) != 0) return FileResult::FromErrno(errno);
  t.exists = true;
  t.mode = st.st_mode & 07777;
  t.uid = st.st_uid;
  t.gid = st.st_gid;
  return {};
}

// A new temporary file in the folder, locked for as long as it is open so that no other save
// takes it for a stale one; -1 with errno on failure.
int CreateTemp(FileSystem& fs, const std::string& folder, std::string& temp) {
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    temp = Join(folder, std::string(kTempPrefix) + std::string(kTempSuffix, 'X'));
    const int fd = fs.MakeTemp(temp);
    if (fd < 0) return -1;
    struct stat st {};
    if (fs.Lock(fd, LOCK_EX | LOCK_NB) == 0 && fs.FileStat(fd, st) == 0 && st.st_nlink > 0)
      return fd;
    // Another save's cleaning removed it between its creation and the lock: take a new one.
    fs.Close(fd);
  }
  errno = EAGAIN;
  return -1;
}

bool IsTempName(const std::string& name) {
  const std::string prefix = kTempPrefix;
  if (name.size() != prefix.size() + kTempSuffix || name.compare(0, prefix.size(), prefix) != 0)
    return false;
  return std::all_of(
      name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
      });
}

// Temporary files of saves that were interrupted: ours by name and owner, and not held by a
// save in progress (which keeps its lock until the rename). Those of every job in the folder
// go, not only this job's: the name does not tell the job, and a temporary file is never the
// only copy of anything (the rename is what replaces a job).
void RemoveStaleTemps(FileSystem& fs, const std::string& folder) {
  for (const std::string& name : fs.List(folder)) {
    if (!IsTempName(name)) continue;
    const std::string path = Join(folder, name);
    struct stat st {};
    if (fs.LinkStat(path, st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
    const int fd = fs.Open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat held {};
    if (fs.Lock(fd, LOCK_EX | LOCK_NB) == 0 && fs.FileStat(fd, held) == 0 &&
        held.st_ino == st.st_ino && held.st_dev == st.st_dev)
      fs.Unlink(path);
    fs.Close(fd);
  }
}

}  // namespace

FileResult ResolveLinks(const std::string& path, std::string& resolved) {
  FileSystem& fs = Files();
  resolved = path;
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    struct stat st {};
    if (fs.LinkStat(resolved, st) != 0) {
      if (errno == ENOENT) return {};  // a new file, or the end of a dangling link
      return FileResult::FromErrno(errno);
    }
    if (!S_ISLNK(st.st_mode)) return {};
    std::string target;
    if (fs.ReadLink(resolved, target) != 0) return FileResult::FromErrno(errno);
    if (target.empty()) return FileResult::FromErrno(ENOENT);
    resolved = target[0] == '/' ? target : Join(FolderOf(resolved), target);
  }
  return FileResult::FromErrno(ELOOP);
}

FileResult ReplaceFile(const std::string& path, const std::string& data) {
  FileSystem& fs = Files();
  std::string target;
  if (FileResult r = ResolveLinks(path, target); !r) return r;
  Target t;
  if (FileResult r = InspectTarget(fs, target, t); !r) return r;

  const std::string folder = FolderOf(target);
  std::string temp;
  const int fd = CreateTemp(fs, folder, temp);
  if (fd < 0) return FileResult::FromErrno(errno);
  FileResult result;
  // The owner is kept where we may set it (as root); otherwise the file becomes ours.
  if (t.exists) (void)fs.ChangeOwner(fd, t.uid, t.gid);
  // Some file systems have no modes to set (EPERM); the file is written all the same.
  if (fs.ChangeMode(fd, t.mode) != 0 && errno != EPERM) result = FileResult::FromErrno(errno);
  if (result) result = WriteAll(fs, fd, data);
  if (result && fs.Sync(fd) != 0) result = FileResult::FromErrno(errno);
  // Renamed while still open and locked, so that no cleaner takes it in between.
  if (result && fs.Rename(temp, target) != 0) result = FileResult::FromErrno(errno);
  if (!result) {
    fs.Unlink(temp);
    fs.Close(fd);
    return result;
  }
  fs.Close(fd);  // written and synced: a late error here changes nothing on disk
  // Make the rename itself durable.
  const int dir = fs.Open(folder, O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fs.Sync(dir);
    fs.Close(dir);
  }
  RemoveStaleTemps(fs, folder);
  return {};
}

FileResult ReadWholeFile(const std::string& path, std::string& out, std::size_t limit,
                         Overlong overlong) {
  FileSystem& fs = Files();
  out.clear();
  struct stat st {};
  if (fs.Stat(path, st) != 0) return FileResult::FromErrno(errno);
  if (S_ISDIR(st.st_mode)) return FileResult::Refused(EISDIR, NotRegularFileReason());
  if (!S_ISREG(st.st_mode)) return FileResult::Refused(EINVAL, NotRegularFileReason());
  if (overlong == Overlong::kFail && static_cast<std::size_t>(st.st_size) > limit)
    return FileResult::Refused(EFBIG, TooLargeReason());
  // Non-blocking, in case the file was swapped for a FIFO since it was looked at.
  const int fd = fs.Open(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return FileResult::FromErrno(errno);
  struct stat opened {};
  if (fs.FileStat(fd, opened) != 0 || !S_ISREG(opened.st_mode)) {
    fs.Close(fd);
    return FileResult::Refused(EINVAL, NotRegularFileReason());
  }
  out.reserve(std::min(static_cast<std::size_t>(opened.st_size), limit));
  char buffer[65536];
  FileResult result;
  while (true) {
    const ssize_t n = fs.Read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      result = FileResult::FromErrno(errno);
      break;
    }
    if (n == 0) break;
    const auto got = static_cast<std::size_t>(n);
    if (out.size() + got > limit) {
      out.append(buffer, limit - out.size());
      // The file grew past the limit while being read.
      if (overlong == Overlong::kFail) result = FileResult::Refused(EFBIG, TooLargeReason());
      break;
    }
    out.append(buffer, got);
  }
  fs.Close(fd);
  if (!result) out.clear();
  return result;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return Files().Stat(path, st) == 0 && S_ISREG(st.st_mode);
}

std::optional<FileId> IdentityOf(const std::string& path) {
  struct stat st {};
  if (Files().Stat(path, st) != 0) return std::nullopt;
  return FileId{static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino)};
}

bool SameFile(const std::string& a, const std::string& b) {
  const std::optional<FileId> ia = IdentityOf(a);
  return ia && ia == IdentityOf(b);
}

}  // namespace zarvel::job
