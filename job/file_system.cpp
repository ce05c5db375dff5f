#include "job/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace zarvel::job {
namespace {

FileSystem*& Installed() {
  static FileSystem* files = nullptr;
  return files;
}

}  // namespace

int FileSystem::Open(const std::string& path, int flags) {
  return ::open(path.c_str(), flags | O_CLOEXEC);
}

int FileSystem::MakeTemp(std::string& path_template) {
  return ::mkostemp(path_template.data(), O_CLOEXEC);
}

ssize_t FileSystem::Read(int fd, char* buffer, std::size_t size) {
  return ::read(fd, buffer, size);
}

ssize_t FileSystem::Write(int fd, const char* data, std::size_t size) {
  return ::write(fd, data, size);
}

int FileSystem::Sync(int fd) {
  return ::fsync(fd);
}

int FileSystem::Close(int fd) {
  return ::close(fd);
}

int FileSystem::Stat(const std::string& path, struct stat& st) {
  return ::stat(path.c_str(), &st);
}

int FileSystem::LinkStat(const std::string& path, struct stat& st) {
  return ::lstat(path.c_str(), &st);
}

int FileSystem::FileStat(int fd, struct stat& st) {
  return ::fstat(fd, &st);
}

int FileSystem::ReadLink(const std::string& path, std::string& target) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
  if (n < 0) return -1;
  if (static_cast<std::size_t>(n) >= sizeof buffer) {
    errno = ENAMETOOLONG;
    return -1;
  }
  target.assign(buffer, static_cast<std::size_t>(n));
  return 0;
}

int FileSystem::Access(const std::string& path, int mode) {
  // As the process will act (effective ids), not as whoever started it.
  return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS);
}

int FileSystem::ChangeMode(int fd, mode_t mode) {
  return ::fchmod(fd, mode);
}

int FileSystem::ChangeOwner(int fd, uid_t uid, gid_t gid) {
  return ::fchown(fd, uid, gid);
}

int FileSystem::Lock(int fd, int operation) {
  return ::flock(fd, operation);
}

int FileSystem::Rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str());
}

int FileSystem::Unlink(const std::string& path) {
  return ::unlink(path.c_str());
}

std::vector<std::string> FileSystem::List(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
      names.emplace_back(e->d_name);
  }
  ::closedir(dir);
  return names;
}

mode_t FileSystem::Umask() {
  // The mask can only be read by setting it; put it straight back (one thread only).
  const mode_t mask = ::umask(077);
  ::umask(mask);
  return mask;
}

FileSystem& Files() {
  static FileSystem real;
  FileSystem* installed = Installed();
  return installed != nullptr ? *installed : real;
}

FileSystem* SetFileSystem(FileSystem* files) {
  FileSystem* previous = Installed();
  Installed() = files;
  return previous;
}

}  // namespace zarvel::job
