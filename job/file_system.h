// The file operations that reading and saving use, behind one interface: tests replace it to
// make a single write, fsync or rename fail and check the message the user then gets.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace zarvel::job {

// Each call answers like the POSIX call it stands for: -1 (or nothing) with errno set.
// The defaults are the real calls; a test overrides only the ones it needs.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual int Open(const std::string& path, int flags);
  virtual int MakeTemp(std::string& path_template);  // mkstemp: the Xs are replaced
  virtual ssize_t Read(int fd, char* buffer, std::size_t size);
  virtual ssize_t Write(int fd, const char* data, std::size_t size);
  virtual int Sync(int fd);
  virtual int Close(int fd);
  virtual int Stat(const std::string& path, struct stat& st);      // follows links
  virtual int LinkStat(const std::string& path, struct stat& st);  // the link itself
  virtual int FileStat(int fd, struct stat& st);
  virtual int ReadLink(const std::string& path, std::string& target);
  virtual int Access(const std::string& path, int mode);
  virtual int ChangeMode(int fd, mode_t mode);
  virtual int ChangeOwner(int fd, uid_t uid, gid_t gid);
  virtual int Lock(int fd, int operation);  // flock
  virtual int Rename(const std::string& from, const std::string& to);
  virtual int Unlink(const std::string& path);
  // The entry names of a folder ("." and ".." left out); empty when it cannot be read.
  virtual std::vector<std::string> List(const std::string& folder);
  // The process's file-creation mask.
  virtual mode_t Umask();
};

// The file operations in use: the real ones unless a test installed others.
FileSystem& Files();

// Installs `files` (null: the real ones again) and answers the ones it replaces.
FileSystem* SetFileSystem(FileSystem* files);

}  // namespace zarvel::job
