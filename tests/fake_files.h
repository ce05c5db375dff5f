// File operations for tests: the real ones, with one kind of call made to fail on request,
// and a record of where temporary files were made and what was renamed.
#pragma once

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "job/file_system.h"

namespace zarvel::testing {

class FakeFiles final : public job::FileSystem {
 public:
  enum class Fail { kNothing, kOpen, kWrite, kSync, kRename };

  // Makes calls of that kind fail with `error` (for Open: only for `path`; for Write: once
  // `bytes_before` bytes were written, as a disk that fills up).
  void FailOn(Fail what, int error, std::string path = {}, std::size_t bytes_before = 0) {
    fail_ = what;
    error_ = error;
    path_ = std::move(path);
    budget_ = bytes_before;
  }

  int Open(const std::string& path, int flags) override {
    if (fail_ == Fail::kOpen && path == path_) return Failed();
    return FileSystem::Open(path, flags);
  }
  int MakeTemp(std::string& path_template) override {
    const int fd = FileSystem::MakeTemp(path_template);
    if (fd >= 0) temps.push_back(path_template);
    return fd;
  }
  ssize_t Write(int fd, const char* data, std::size_t size) override {
    if (fail_ == Fail::kWrite) {
      if (budget_ == 0) return Failed();
      size = std::min(size, budget_);
      budget_ -= size;
    }
    return FileSystem::Write(fd, data, size);
  }
  int Sync(int fd) override { return fail_ == Fail::kSync ? Failed() : FileSystem::Sync(fd); }
  int Rename(const std::string& from, const std::string& to) override {
    if (fail_ == Fail::kRename) return Failed();
    renames.emplace_back(from, to);
    return FileSystem::Rename(from, to);
  }

  std::vector<std::string> temps;                            // temporary files made
  std::vector<std::pair<std::string, std::string>> renames;  // done, from → to

 private:
  int Failed() const {
    errno = error_;
    return -1;
  }

  Fail fail_ = Fail::kNothing;
  int error_ = 0;
  std::string path_;
  std::size_t budget_ = 0;
};

// Installs file operations for the life of the object.
class UseFiles {
 public:
  explicit UseFiles(job::FileSystem& files) : previous_(job::SetFileSystem(&files)) {}
  ~UseFiles() { job::SetFileSystem(previous_); }
  UseFiles(const UseFiles&) = delete;
  UseFiles& operator=(const UseFiles&) = delete;

 private:
  job::FileSystem* previous_;
};

}  // namespace zarvel::testing
