#include "base/app_info.h"

#include "base/cp932.h"
#include "base/numbers.h"

namespace zarvel::base {
namespace {

// Laid out for a fixed-pitch font: rules of 90 "-", the release date alone at the start of
// the second line.
constexpr const char* kHistory =
    "------------------------------------------------------------------------------------------\n"
    "2025.04.01                                                                                \n"
    "＜棒材Zarvel４からの変更点＞\n"
    "・Windows 11 に対応しました。\n"
    "・切断リストを 102 種類まで入力できるようにしました。\n"
    "・優先素材（指定長さ未満の素材）を先に使うようにしました。\n"
    "・印刷プレビューに［長さ×本数］の表と［１本毎］の表を加えました。\n"
    "・精度（低・中・高・最適）を選べるようにしました。低・中・高は試行回数が違い、\n"
    "　最適は厳密な計算と高の試行を併せて、高より悪くならない計画を求めます。\n"
    "　中止は Shift キーで、51 回目以降の試行から有効です。\n"
    "・表計算ソフトからコピーした［長さ TAB 本数］を貼り付けられるようにしました。\n"
    "・最近使ったファイルを「開き直す」から選べるようにしました。\n"
    "＜この版で加えたこと＞\n"
    "・切断リストを CSV ファイルから読み込めるようにしました（切断リスト読み込み…）。\n"
    "・切断計画を CSV ファイルに書き出せるようにしました（CSV出力…）。\n"
    "・印刷プレビューと帳票に切断図を加えました。\n"
    "・精度「最適」を加えました。計画が「最適解」かどうかを表示します。\n"
    "・画面を開かずに計画・帳票・鋼材の発注をするコマンド（plan、report、order）を加えました。\n"
    "・ファイルメニューに「新規」を加え、Ctrl+N、Ctrl+O、Ctrl+S で操作できるようにしました。\n"
    "・「はい」で保存できなかったとき（書き込めない、名前を付けて保存を中止）は、\n"
    "　閉じたり別の仕事を開いたりせず、仕事をそのまま残すようにしました。\n"
    "・［貼り付け］は空いたセルにだけ入れ、入りきらないときは何も貼り付けずに知らせます。\n"
    "・仕事のファイルでないものは開かず、項目が欠けた仕事のファイルは欠けた項目を知らせます。\n"
    "・印刷で、ページの範囲、現在のページ、部数を指定できるようにしました。\n"
    "・在庫（素材置き場の素材と端材）の画面を加えました。在庫から素材リストを作り、\n"
    "　計画を確定すると在庫を更新します（確定の取り消しもできます）。\n"
    "・印刷プレビューと帳票にラベル（12・24・44 面の用紙）と切断指示書を加えました。\n"
    "・部材データ読み込み…（DSTV・CSV の部品表）で、断面ごとに切断リストを作れます。\n"
    "・部材名に規格鋼材の候補を出し、選ぶと単位重量を入れるようにしました。\n"
    "------------------------------------------------------------------------------------------\n"
    "＜共通関数の変更＞\n"
    "2025.03  Z_IniFile   GridCelltoNext  （縦順表示の時、最終行から次の列へ移動）\n"
    "2025.02  Z_TextFunc  AtoI            （全角数字と桁区切りのカンマを読めるように）\n"
    "2024.11  Z_Print2    DrawCellLines   （セル幅に合わせて文字を縮小）\n"
    "2024.08  Z_Math1     RoundHalfDown   （0.5 は 0 の方向へ丸める）\n"
    "------------------------------------------------------------------------------------------\n";

}  // namespace

const std::string& ApplicationTitle() {
  return Lit("棒材Zarvel５");
}

const std::string& ChangeHistoryText() {
  return Lit(kHistory);
}

std::string VersionFromHistory(const std::string& history) {
  const std::size_t at = history.find("20");
  if (at == std::string::npos) return {};
  return std::string(TrimBlanks(std::string_view(history).substr(at, 20)));
}

const std::string& VersionText() {
  static const std::string version = VersionFromHistory(ChangeHistoryText());
  return version;
}

const std::string& WindowCaption() {
  static const std::string caption = ApplicationTitle() + " (" + VersionText() + Lit("版) ");
  return caption;
}

}  // namespace zarvel::base
