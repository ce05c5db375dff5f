#include "job/file_result.h"

#include <cerrno>
#include <cstring>

#include "base/cp932.h"
#include "base/format.h"

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
  // The system's own texts are English; the user reads Japanese. Errors a save or an open
  // meets in practice have their words here, the rest their symbolic name.
  switch (error) {
    case EACCES:
    case EPERM:
      return base::Lit("アクセスが許可されていません");
    case EROFS:
      return base::Lit("読み取り専用のファイルシステムです");
    case ENOSPC:
      return base::Lit("ディスクに空きがありません");
    case EDQUOT:
      return base::Lit("ディスクの使用量の上限を超えています");
    case ENOENT:
      return base::Lit("ファイルまたはフォルダが見つかりません");
    case ENOTDIR:
      return base::Lit("パスの途中にフォルダでないものがあります");
    case EISDIR:
      return base::Lit("フォルダです");
    case ENAMETOOLONG:
      return base::Lit("ファイル名が長すぎます");
    case ELOOP:
      return base::Lit("シンボリックリンクが多すぎるか循環しています");
    case EIO:
      return base::Lit("入出力エラーが起きました");
    case EFBIG:
      return base::Lit("ファイルが大きすぎます");
    case EMFILE:
    case ENFILE:
      return base::Lit("開いているファイルが多すぎます");
    case EXDEV:
      return base::Lit("別のファイルシステムへは移せません");
    case EBUSY:
    case ETXTBSY:
      return base::Lit("ファイルが使用中です");
    case ENOMEM:
      return base::Lit("メモリが足りません");
    default:
      break;
  }
  const char* name = ::strerrorname_np(error);
  return base::Lit("システムエラー") +
         (name != nullptr ? base::Format(" %s", name) : base::Format(" %d", error));
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
