// What a file operation answers: success, or why it failed, in words the user can read.
#pragma once

#include <string>

namespace zarvel::job {

class FileResult {
 public:
  FileResult() = default;  // success
  // A failed call: the reason is the errno's text.
  static FileResult FromErrno(int error);
  // A refusal of our own (not a regular file, write-protected, too large): errno and its text.
  static FileResult Refused(int error, const std::string& reason_cp932);

  bool Ok() const { return error_ == 0; }
  explicit operator bool() const { return Ok(); }
  int Error() const { return error_; }
  // One line of CP932 text; empty on success.
  const std::string& Reason() const { return reason_; }

 private:
  int error_ = 0;
  std::string reason_;
};

// The errno's text as the user reads it (CP932).
std::string ErrnoText(int error);

// Reasons of our own refusals (CP932).
const std::string& NotRegularFileReason();
const std::string& WriteProtectedReason();
const std::string& TooLargeReason();

}  // namespace zarvel::job
