#include "cli/import_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <filesystem>

#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "exchange/dstv.h"
#include "exchange/part_import.h"
#include "job/cut_csv.h"
#include "job/job_controls.h"
#include "job/safe_file.h"

namespace zarvel::cli {

namespace {

namespace fs = std::filesystem;

const char* const kImportUsage =
    "使い方: zarvel5 import ファイルかフォルダー... --out 出力フォルダー [--template ひな形.zv5]\n"
    "                      [--json] [--include-plates] [--columns mark=1,section=2,length=4,"
    "count=5]\n"
    "  DSTV の部品ファイル (.nc1/.nc) と部品表の CSV "
    "を読み、断面ごとに仕事のファイルを書きます。\n";

struct Listed {
  std::string file;
  std::string reason;  // UTF-8
};

enum class Kind { kDstv, kCsv, kOther };

Kind KindOf(const fs::path& path) {
  const std::string ext = text::UpperAscii(path.extension().string());
  if (ext == ".NC1" || ext == ".NC") return Kind::kDstv;
  if (ext == ".CSV" || ext == ".TXT" || ext == ".TSV") return Kind::kCsv;
  return Kind::kOther;
}

struct Options {
  std::vector<std::string> inputs;
  std::string out;
  std::string template_path;
  bool json = false;
  bool include_plates = false;
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
    } else if (a == "--out" && has_value) {
      o.out = args[++i];
    } else if (a == "--template" && has_value) {
      o.template_path = args[++i];
    } else if (a == "--columns" && has_value) {
      std::string error;
      if (!job::ParseColumnChoice(args[++i], o.columns, error)) {
        err << "zarvel5: " << text::Cp932ToUtf8(error) << "\n" << kImportUsage;
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

// The files to read: those named, and in folders (recursively) the part files and lists, in name
// order so that every run reads them alike.
std::vector<std::pair<std::string, Kind>> Files(const std::vector<std::string>& inputs,
                                                std::vector<Listed>& refused) {
  std::vector<std::pair<std::string, Kind>> files;
  for (const std::string& input : inputs) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
      std::vector<std::pair<std::string, Kind>> found;
      for (auto it = fs::recursive_directory_iterator(
               input, fs::directory_options::skip_permission_denied, ec);
           !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const Kind kind = KindOf(it->path());
        if (kind != Kind::kOther && it->is_regular_file(ec)) found.emplace_back(it->path(), kind);
      }
      if (ec) refused.push_back({input, "フォルダーを読めません: " + ec.message()});
      std::sort(found.begin(), found.end());
      files.insert(files.end(), found.begin(), found.end());
    } else {
      const Kind kind = KindOf(input);
      files.emplace_back(input, kind == Kind::kDstv ? Kind::kDstv : Kind::kCsv);
    }
  }
  return files;
}

std::string Stem(const std::string& path) {
  return fs::path(path).stem().string();
}

}  // namespace

int RunImportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options o;
  int code = 0;
  if (!Parse(args, o, out, err, code)) return code;
  std::error_code ec;
  fs::create_directories(o.out, ec);
  if (!fs::is_directory(o.out, ec)) {
    err << "zarvel5: 出力フォルダーを作れません: " << o.out << "\n";
    return 2;
  }
  std::vector<Listed> refused, left_out;
  std::vector<exchange::ImportPart> parts;
  int skipped_lines = 0;
  for (const auto& [file, kind] : Files(o.inputs, refused)) {
    std::string bytes;
    const std::size_t limit = kind == Kind::kDstv ? exchange::kMaxDstvSize : job::kMaxCutCsvSize;
    if (const job::FileResult read = job::ReadWholeFile(file, bytes, limit + 1); !read) {
      refused.push_back({file, "読めません: " + text::Cp932ToUtf8(read.Reason())});
      continue;
    }
    if (bytes.size() > limit) {
      refused.push_back({file, "大きすぎます"});
      continue;
    }
    if (kind == Kind::kDstv) {
      const exchange::DstvRead r = exchange::ReadDstv(bytes);
      if (!r.ok) {
        refused.push_back({file, r.error});
      } else if (r.part.profile_code == "B" && !o.include_plates) {
        left_out.push_back({file, "板 (断面コード B) です: " + r.part.profile +
                                      "。--include-plates で読み込めます"});
      } else {
        parts.push_back({file, r.part.mark, r.part.profile, r.part.grade, r.part.length,
                         r.part.quantity, r.part.kg_per_m});
      }
      continue;
    }
    const job::CutCsv csv = job::ReadCutCsv(bytes, INT_MAX, o.has_columns ? &o.columns : nullptr);
    if (!csv.ok) {
      refused.push_back({file, text::Cp932ToUtf8(csv.error)});
      continue;
    }
    skipped_lines += csv.titles_skipped + csv.totals_skipped;
    for (const job::CsvPart& p : csv.parts) {
      // A list without a section column is one job, named after the file.
      const std::string profile =
          p.section.empty() ? Stem(file) : exchange::FoldBlanks(text::Cp932ToUtf8(p.section));
      parts.push_back({file, text::Cp932ToUtf8(p.mark), profile, text::Cp932ToUtf8(p.grade),
                       static_cast<double>(p.length), p.count, 0});
    }
  }

  const int capacity = (job::kCutGridCols - 1) * (job::kCutGridRows - 1);
  std::vector<exchange::ImportedJob> jobs = exchange::GroupParts(parts, capacity);
  int rounded = 0;
  for (exchange::ImportedJob& j : jobs) {
    rounded += j.rounded;
    if (const job::FileResult written = exchange::WriteImportedJob(j, o.out, o.template_path);
        !written) {
      refused.push_back({j.file.empty() ? o.template_path : j.file,
                         "書き込めません: " + text::Cp932ToUtf8(written.Reason())});
      j.file.clear();
    }
  }

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
      s += std::string(first ? "" : ",") + "\n  {\"file\": " + text::JsonString(j.file) +
           ", \"profile\": " + text::JsonString(j.profile) +
           ", \"section\": " + text::JsonString(j.section) +
           text::Format(", \"pieces\": %lld, \"lengths\": %zu, \"rounded\": %d, \"warnings\": [",
                        count_pieces(j), j.pieces.size(), j.rounded);
      for (std::size_t k = 0; k < j.warnings.size(); ++k)
        s += (k ? ", " : "") + text::JsonString(j.warnings[k]);
      s += "]}";
      first = false;
    }
    const auto list = [&](const char* key, const std::vector<Listed>& items) {
      s += std::string("],\n \"") + key + "\": [";
      for (std::size_t k = 0; k < items.size(); ++k)
        s += std::string(k ? ", " : "") + "{\"file\": " + text::JsonString(items[k].file) +
             ", \"reason\": " + text::JsonString(items[k].reason) + "}";
    };
    list("left_out", left_out);
    list("refused", refused);
    s += text::Format("],\n \"skipped_lines\": %d}\n", skipped_lines);
    out << s;
  } else {
    out << text::Format("読み込んだ部品: %zu 件\n", parts.size());
    out << "書き出した仕事:\n";
    for (const exchange::ImportedJob& j : jobs) {
      if (j.file.empty()) continue;
      out << "  " << j.file << "  " << j.section
          << (j.section != j.profile ? " (" + j.profile + ")" : std::string())
          << text::Format("  切断材 %lld 本、長さ %zu 種類\n", count_pieces(j), j.pieces.size());
      for (const std::string& w : j.warnings) out << "    注意: " << w << "\n";
    }
    if (rounded > 0) out << text::Format("長さを 1 mm 単位に切り上げた切断材: %d 本\n", rounded);
    if (skipped_lines > 0)
      out << text::Format("読み飛ばした表題・合計の行: %d 行\n", skipped_lines);
    if (!left_out.empty()) out << "読み込まなかった部品:\n";
    for (const Listed& l : left_out) out << "  " << l.file << ": " << l.reason << "\n";
    if (!refused.empty()) out << "読めなかったファイル:\n";
    for (const Listed& l : refused) out << "  " << l.file << ": " << l.reason << "\n";
  }
  for (const Listed& l : refused) err << "zarvel5: " << l.file << ": " << l.reason << "\n";
  return refused.empty() ? 0 : 1;
}

}  // namespace zarvel::cli
