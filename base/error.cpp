#include "base/error.h"

#include <cerrno>
#include <cstring>

#include "base/format.h"

namespace zarvel::base {

std::string SystemReason(int e) {
  switch (e) {
    case EACCES:
    case EPERM:
      return "アクセスが許可されていません";
    case EROFS:
      return "読み取り専用のファイルシステムです";
    case ENOSPC:
      return "ディスクに空きがありません";
    case EDQUOT:
      return "ディスクの使用量の上限を超えています";
    case ENOENT:
      return "ファイルまたはフォルダが見つかりません";
    case ENOTDIR:
      return "パスの途中にフォルダでないものがあります";
    case EISDIR:
      return "フォルダです";
    case ENAMETOOLONG:
      return "ファイル名が長すぎます";
    case ELOOP:
      return "シンボリックリンクが多すぎるか循環しています";
    case EIO:
      return "入出力エラーが起きました";
    case EFBIG:
      return "ファイルが大きすぎます";
    case EMFILE:
    case ENFILE:
      return "開いているファイルが多すぎます";
    case EXDEV:
      return "別のファイルシステムへは移せません";
    case EBUSY:
    case ETXTBSY:
      return "ファイルが使用中です";
    case ENOMEM:
      return "メモリが足りません";
    default:
      break;
  }
  const char* name = ::strerrorname_np(e);
  return name != nullptr ? Format("システムエラー %s", name) : Format("システムエラー %d", e);
}

}  // namespace zarvel::base
