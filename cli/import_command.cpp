#include "cli/import_command.h"

#include <algorithm>
#include <filesystem>

#include "base/cp932.h"
#include "base/format.h"
#include "exchange/part_files.h"
#include "exchange/part_import.h"
#include "exchange/part_list.h"
#include "job/cut_csv.h"
#include "job/job_controls.h"

namespace zarvel::cli {

namespace {

const char* const kImportUsage =
    "使い方: zarvel5 import ファイルかフォルダー... --out 出力フォルダー [--template ひな形.zv5]\n"
    "                      [--json] [--include-plates] [--sum-repeats] [--partial]\n"
    "                      [--columns 符号=1,断面=2,材質=3,長さ=4,本数=5]\n"
    "  DSTV の部品ファイル (.nc1/.nc) と部品表の CSV を読み、断面と材質ごとに仕事のファイルを"
    "書きます。\n"
    "  --sum-repeats  別のファイルにある同じ符号・長さの部品をファイルごとに数えます\n"
    "                 (付けないときは 1 回だけ数え、重複として示します)\n"
    "  --partial      読めなかったファイルがある断面も、欠けた部品を書き添えて書き出します\n";

struct Options {
  std::vector<std::string> inputs;
  std::string out;
  std::string template_path;
  bool json = false;
  bool include_plates = false;
  bool sum_repeats = false;
  bool partial = false;
  bool has_columns = false;
  job::ColumnChoice columns;
};

bool Parse(const std::vector<std::string>& args, Options& o, std::ostream& out, std::ostream& err,
           int& code) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--help" || a == "-h") {
      out << kImportUsage;
      code = 0;
      return false;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--include-plates") {
      o.include_plates = true;
    } else if (a == "--sum-repeats") {
      o.sum_repeats = true;
    } else if (a == "--partial") {
      o.partial = true;
    } else if (a == "--out" && has_value) {
      o.out = args[++i];
    } else if (a == "--template" && has_value) {
      o.template_path = args[++i];
    } else if (a == "--columns" && has_value) {
      std::string error;
      if (!exchange::ParseColumnChoice(base::Utf8ToCp932(args[++i]), o.columns, error)) {
        err << "zarvel5: " << base::Cp932ToUtf8(error) << "\n" << kImportUsage;
        code = 2;
        return false;
      }
      o.has_columns = true;
    } else if (!a.empty() && a[0] != '-') {
      o.inputs.push_back(a);
    } else {
      err << "zarvel5: import に渡せない引数です: " << a << "\n" << kImportUsage;
      code = 2;
      return false;
    }
  }
  if (o.inputs.empty() || o.out.empty()) {
    err << "zarvel5: 読むファイルと --out の出力フォルダーを指定して下さい\n" << kImportUsage;
    code = 2;
    return false;
  }
  return true;
}

}  // namespace

int RunImportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options o;
  int code = 0;
  if (!Parse(args, o, out, err, code)) return code;
  std::error_code ec;
  std::filesystem::create_directories(o.out, ec);
  if (!std::filesystem::is_directory(o.out, ec)) {
    err << "zarvel5: 出力フォルダーを作れません: " << o.out << "\n";
    return 2;
  }
  exchange::PartFileOptions read_options;
  read_options.include_plates = o.include_plates;
  read_options.columns = o.has_columns ? &o.columns : nullptr;
  read_options.sum_repeats = o.sum_repeats;
  exchange::PartFiles files = exchange::ReadPartFiles(o.inputs, read_options);
  const std::vector<exchange::ImportPart>& parts = files.parts;
  std::vector<exchange::ListedFile>& refused = files.refused;
  const std::vector<exchange::ListedFile>& left_out = files.left_out;
  const int skipped_lines = files.skipped_lines;

  const int capacity = (job::kCutGridCols - 1) * (job::kCutGridRows - 1);
  std::vector<exchange::ImportedJob> jobs = exchange::GroupParts(parts, capacity);
  exchange::NoteMissing(jobs, refused);
  int rounded = 0;
  std::vector<const exchange::ImportedJob*> held;  // not written: some of their files refused
  for (exchange::ImportedJob& j : jobs) {
    rounded += j.rounded;
    if (!j.missing.empty() && !o.partial) {
      held.push_back(&j);
      continue;
    }
    if (const job::FileResult written = exchange::WriteImportedJob(j, o.out, o.template_path);
        !written) {
      refused.push_back({j.file.empty() ? o.template_path : j.file,
                         "書き込めません: " + base::Cp932ToUtf8(written.Reason()),
                         {}});
      j.file.clear();
    }
  }
  if (parts.empty() && refused.empty())
    refused.push_back({"", "部品が 1 件もありません。何も書き出していません", {}});

  const auto count_pieces = [](const exchange::ImportedJob& j) {
    long long n = 0;
    for (const job::CutPiece& c : j.pieces) n += c.count;
    return n;
  };
  if (o.json) {
    std::string s = "{\"jobs\": [";
    bool first = true;
    for (const exchange::ImportedJob& j : jobs) {
      if (j.file.empty()) continue;
      s += std::string(first ? "" : ",") + "\n  {\"file\": " + base::JsonString(j.file) +
           ", \"name\": " + base::JsonString(j.Name()) +
           ", \"profile\": " + base::JsonString(j.profile) +
           ", \"section\": " + base::JsonString(j.section) +
           ", \"grade\": " + base::JsonString(j.grade) +
           ", \"usage\": " + base::JsonString(j.usage) +
           base::Format(", \"pieces\": %lld, \"lengths\": %zu, \"rounded\": %d, \"warnings\": [",
                        count_pieces(j), j.pieces.size(), j.rounded);
      for (std::size_t k = 0; k < j.warnings.size(); ++k)
        s += (k ? ", " : "") + base::JsonString(j.warnings[k]);
      s += "], \"missing\": [";
      for (std::size_t k = 0; k < j.missing.size(); ++k)
        s += (k ? ", " : "") + base::JsonString(j.missing[k]);
      s += "]}";
      first = false;
    }
    const auto list = [&](const char* key, const std::vector<exchange::ListedFile>& items) {
      s += std::string("],\n \"") + key + "\": [";
      for (std::size_t k = 0; k < items.size(); ++k)
        s += std::string(k ? ", " : "") + "{\"file\": " + base::JsonString(items[k].file) +
             ", \"reason\": " + base::JsonString(items[k].reason) + "}";
    };
    list("left_out", left_out);
    list("refused", refused);
    list("repeats", files.repeats);
    s += "],\n \"not_written\": [";
    for (std::size_t k = 0; k < held.size(); ++k)
      s += (k ? ", " : "") + base::JsonString(held[k]->Name());
    s += base::Format("],\n \"skipped_lines\": %d}\n", skipped_lines);
    out << s;
  } else {
    out << base::Format("読み込んだ部品: %zu 件\n", parts.size());
    out << "書き出した仕事:\n";
    for (const exchange::ImportedJob& j : jobs) {
      if (j.file.empty()) continue;
      out << "  " << j.file << "  " << j.Name()
          << (j.section != j.profile ? " (" + j.profile + ")" : std::string())
          << (j.usage.empty() ? std::string() : "  " + j.usage)
          << base::Format("  切断材 %lld 本、長さ %zu 種類\n", count_pieces(j), j.pieces.size());
      for (const std::string& w : j.warnings) out << "    注意: " << w << "\n";
      for (const std::string& m : j.missing) out << "    欠けている部品: " << m << "\n";
    }
    if (!held.empty()) out << "書き出さなかった仕事 (読めなかったファイルの部品が欠けます):\n";
    for (const exchange::ImportedJob* j : held) out << "  " << j->Name() << "\n";
    if (!held.empty()) out << "  (欠けたまま書き出すときは --partial を付けます)\n";
    if (!files.repeats.empty()) out << "重複した部品 (1 回だけ数えました):\n";
    for (const exchange::ListedFile& l : files.repeats)
      out << "  " << l.file << ": " << l.reason << "\n";
    if (!files.repeats.empty()) out << "  (ファイルごとに数えるときは --sum-repeats を付けます)\n";
    if (rounded > 0) out << base::Format("長さを 1 mm 単位に切り上げた切断材: %d 本\n", rounded);
    if (skipped_lines > 0)
      out << base::Format("読み飛ばした表題・合計の行: %d 行\n", skipped_lines);
    if (!left_out.empty()) out << "読み込まなかった部品:\n";
    for (const exchange::ListedFile& l : left_out)
      out << "  " << l.file << ": " << l.reason << "\n";
    if (!left_out.empty()) out << "  (板も読み込むときは --include-plates を付けます)\n";
    if (!refused.empty()) out << "読めなかったファイル:\n";
    for (const exchange::ListedFile& l : refused)
      out << "  " << (l.file.empty() ? "" : l.file + ": ") << l.reason << "\n";
  }
  for (const exchange::ListedFile& l : refused)
    err << "zarvel5: " << (l.file.empty() ? "" : l.file + ": ") << l.reason << "\n";
  return refused.empty() ? 0 : 1;
}

}  // namespace zarvel::cli
