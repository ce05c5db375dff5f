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
      return text::Lit("アクセスが許可されていません");
    case EROFS:
      return text::Lit("読み取り専用のファイルシステムです");
    case ENOSPC:
      return text::Lit("ディスクに空きがありません");
    case EDQUOT:
      return text::Lit("ディスクの使用量の上限を超えています");
    case ENOENT:
      return text::Lit("ファイルまたはフォルダが見つかりません");
    case ENOTDIR:
      return text::Lit("パスの途中にフォルダでないものがあります");
    case EISDIR:
      return text::Lit("フォルダです");
    case ENAMETOOLONG:
      return text::Lit("ファイル名が長すぎます");
    case ELOOP:
      return text::Lit("シンボリックリンクが多すぎるか循環しています");
    case EIO:
      return text::Lit("入出力エラーが起きました");
    case EFBIG:
      return text::Lit("ファイルが大きすぎます");
    case EMFILE:
    case ENFILE:
      return text::Lit("開いているファイルが多すぎます");
    case EXDEV:
      return text::Lit("別のファイルシステムへは移せません");
    case EBUSY:
    case ETXTBSY:
      return text::Lit("ファイルが使用中です");
    case ENOMEM:
      return text::Lit("メモリが足りません");
    default:
      break;
  }
  const char* name = ::strerrorname_np(error);
  return text::Lit("システムエラー") +
         (name != nullptr ? text::Format(" %s", name) : text::Format(" %d", error));
}

const std::string& NotRegularFileReason() {
  return text::Lit("通常のファイルではありません");
}

const std::string& WriteProtectedReason() {
  return text::Lit("書き込みが禁止されたファイルです");
}

const std::string& TooLargeReason() {
  return text::Lit("ファイルが大きすぎます");
}

}  // namespace zarvel::job
