#include "job/file_result.h"

#include <cerrno>

#include "base/cp932.h"
#include "base/error.h"

namespace zarvel::job {

FileResult FileResult::FromErrno(int error) {
  FileResult r;
  r.error_ = error != 0 ? error : EIO;
  r.reason_ = ErrnoText(r.error_);
  return r;
}

FileResult FileResult::Refused(int error, const std::string& reason) {
  FileResult r;
  r.error_ = error != 0 ? error : EIO;
  r.reason_ = reason;
  return r;
}

std::string ErrnoText(int error) {
  return base::Utf8ToCp932(base::SystemReason(error));
}

const std::string& NotRegularFileReason() {
  return base::Lit("通常のファイルではありません");
}

const std::string& WriteProtectedReason() {
  return base::Lit("書き込みが禁止されたファイルです");
}

const std::string& TooLargeReason() {
  return base::Lit("ファイルが大きすぎます");
}

}  // namespace zarvel::job
