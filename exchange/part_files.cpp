#include "exchange/part_files.h"

#include <algorithm>
#include <climits>
#include <filesystem>

#include "base/cp932.h"
#include "base/numbers.h"
#include "exchange/dstv.h"
#include "job/safe_file.h"

namespace zarvel::exchange {

namespace {

namespace fs = std::filesystem;

enum class Kind { kDstv, kList, kOther };

Kind KindOf(const fs::path& path) {
  const std::string ext = base::UpperAscii(path.extension().string());
  if (ext == ".NC1" || ext == ".NC") return Kind::kDstv;
  if (ext == ".CSV" || ext == ".TXT" || ext == ".TSV") return Kind::kList;
  return Kind::kOther;
}

std::vector<std::pair<std::string, Kind>> Files(const std::vector<std::string>& inputs,
                                                std::vector<ListedFile>& refused) {
  std::vector<std::pair<std::string, Kind>> files;
  for (const std::string& input : inputs) {
    std::error_code ec;
    if (!fs::is_directory(input, ec)) {  // a file named is read whatever its name
      files.emplace_back(input, KindOf(input) == Kind::kDstv ? Kind::kDstv : Kind::kList);
      continue;
    }
    std::vector<std::pair<std::string, Kind>> found;
    for (auto it = fs::recursive_directory_iterator(
             input, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      const Kind kind = KindOf(it->path());
      std::error_code type_ec;
      if (kind != Kind::kOther && it->is_regular_file(type_ec))
        found.emplace_back(it->path(), kind);
    }
    if (ec) refused.push_back({input, "フォルダーを読めません: " + ec.message()});
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

}  // namespace

PartFiles ReadPartFiles(const std::vector<std::string>& inputs, const PartFileOptions& options) {
  PartFiles r;
  std::vector<job::FileId> seen;
  for (const auto& [file, kind] : Files(inputs, r.refused)) {
    if (const std::optional<job::FileId> id = job::IdentityOf(file)) {
      if (std::find(seen.begin(), seen.end(), *id) != seen.end()) continue;
      seen.push_back(*id);
    }
    std::string bytes;
    const std::size_t limit = kind == Kind::kDstv ? kMaxDstvSize : job::kMaxCutCsvSize;
    if (const job::FileResult read = job::ReadWholeFile(file, bytes, limit + 1); !read) {
      r.refused.push_back({file, "読めません: " + base::Cp932ToUtf8(read.Reason())});
      continue;
    }
    if (bytes.size() > limit) {
      r.refused.push_back({file, "大きすぎます"});
      continue;
    }
    ++r.files_read;
    if (kind == Kind::kDstv) {
      const DstvRead d = ReadDstv(bytes);
      if (!d.ok) {
        r.refused.push_back({file, d.error});
      } else if (d.part.profile_code == "B" && !options.include_plates) {
        r.left_out.push_back({file, "板 (断面コード B) です: " + d.part.profile});
      } else {
        r.parts.push_back({file, d.part.mark, d.part.profile, d.part.grade, d.part.length,
                           d.part.quantity, d.part.kg_per_m});
      }
      continue;
    }
    const job::CutCsv csv = job::ReadCutCsv(bytes, INT_MAX, options.columns);
    r.columns = csv.columns;
    r.last_list = file;
    if (!csv.ok) {
      r.refused.push_back({file, base::Cp932ToUtf8(csv.error)});
      continue;
    }
    r.skipped_lines += csv.titles_skipped + csv.totals_skipped;
    for (const job::CsvPart& p : csv.parts) {
      // A list without a section column is one job, named after the file.
      const std::string profile = p.section.empty() ? fs::path(file).stem().string()
                                                    : FoldBlanks(base::Cp932ToUtf8(p.section));
      r.parts.push_back({file, base::Cp932ToUtf8(p.mark), profile, base::Cp932ToUtf8(p.grade),
                         static_cast<double>(p.length), p.count, 0});
    }
  }
  return r;
}

}  // namespace zarvel::exchange
