#include "exchange/part_files.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "base/outside_text.h"
#include "exchange/dstv.h"
#include "exchange/part_list.h"
#include "job/file_result.h"
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

struct Found {
  std::string file;
  Kind kind;
  bool named;  // named by the user, not found in a folder
  bool operator<(const Found& o) const { return file < o.file; }
};

// A folder's part files and lists, its sub-folders searched too (links to folders are not
// followed, so a loop cannot hold the walk). A folder that cannot be listed is refused.
void Walk(const fs::path& folder, std::vector<Found>& found, std::vector<ListedFile>& refused,
          int depth) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  std::vector<fs::path> folders;
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code type_ec;
    const fs::file_status status = it->symlink_status(type_ec);
    if (fs::is_directory(status)) {
      folders.push_back(it->path());
    } else if (const Kind kind = KindOf(it->path());
               kind != Kind::kOther && it->is_regular_file(type_ec)) {
      found.push_back({it->path().string(), kind, false});
    }
  }
  if (ec) {
    refused.push_back({folder.string(),
                       "フォルダーを読めません: " + base::Cp932ToUtf8(job::ErrnoText(ec.value())),
                       {}});
    return;
  }
  std::sort(folders.begin(), folders.end());
  for (const fs::path& f : folders) {
    if (depth >= 64) {
      refused.push_back({f.string(), "フォルダーの階層が深すぎます", {}});
      continue;
    }
    Walk(f, found, refused, depth + 1);
  }
}

std::vector<Found> Files(const std::vector<std::string>& inputs, std::vector<ListedFile>& refused) {
  std::vector<Found> files;
  for (const std::string& input : inputs) {
    std::error_code ec;
    if (!fs::is_directory(input, ec)) {  // a file named is read whatever its name
      files.push_back({input, KindOf(input) == Kind::kDstv ? Kind::kDstv : Kind::kList, true});
      continue;
    }
    std::vector<Found> found;
    const std::size_t refused_before = refused.size();
    Walk(input, found, refused, 0);
    std::sort(found.begin(), found.end());
    if (found.empty() && refused.size() == refused_before)
      refused.push_back(
          {input, "部品ファイル (.nc1/.nc) も部品表 (.csv/.tsv/.txt) もありません", {}});
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

std::string PieceText(const ImportPart& p) {
  return "符号 " + p.mark + " (" + base::Format("%g mm × %lld", p.length, p.quantity) + ")";
}

// A mark in several files: counted once (or in each, when asked) when its length and material
// agree, refused in every file when they do not.
void ResolveRepeats(PartFiles& r, bool sum_repeats) {
  std::map<std::string, std::size_t> first;      // mark → its first part
  std::map<std::string, std::string> conflicts;  // mark → reason
  std::vector<bool> keep(r.parts.size(), true);
  for (std::size_t i = 0; i < r.parts.size(); ++i) {
    const ImportPart& p = r.parts[i];
    if (p.mark.empty()) continue;
    const auto [at, added] = first.emplace(p.mark, i);
    const ImportPart& f = r.parts[at->second];
    if (added || f.source == p.source) continue;
    const bool same_material = MaterialKey(f.profile, f.grade) == MaterialKey(p.profile, p.grade);
    if (f.length != p.length || !same_material) {
      const std::string what =
          f.length != p.length
              ? base::Format("長さが %g mm と %g mm", f.length, p.length)
              : "断面・材質が " + f.profile + " " + f.grade + " と " + p.profile + " " + p.grade;
      conflicts.emplace(
          p.mark, "符号 " + p.mark + " の" + what + " で違います: " + f.source + " と " + p.source);
    } else if (!sum_repeats && f.quantity != p.quantity) {
      conflicts.emplace(p.mark, "符号 " + p.mark +
                                    base::Format(" の数量が %lld と %lld", f.quantity, p.quantity) +
                                    " で違います: " + f.source + " と " + p.source);
    } else if (!sum_repeats) {
      keep[i] = false;
      r.repeats.push_back(
          {p.source, PieceText(p) + " は " + f.source + " と同じ部品です。1 回だけ数えました", {}});
    }
  }
  if (conflicts.empty() && std::all_of(keep.begin(), keep.end(), [](bool k) { return k; })) return;
  std::map<std::string, std::vector<std::string>> materials;
  std::vector<ImportPart> kept;
  for (std::size_t i = 0; i < r.parts.size(); ++i) {
    ImportPart& p = r.parts[i];
    if (const auto c = conflicts.find(p.mark); c != conflicts.end()) {
      materials[p.mark].push_back(MaterialKey(p.profile, p.grade));
      continue;
    }
    if (keep[i]) kept.push_back(std::move(p));
  }
  r.parts = std::move(kept);
  for (const auto& [mark, reason] : conflicts) {
    const std::size_t at = reason.rfind(": ");
    r.refused.push_back({reason.substr(at + 2), reason.substr(0, at), materials[mark]});
  }
}

}  // namespace

PartFiles ReadPartFiles(const std::vector<std::string>& inputs, const PartFileOptions& options) {
  PartFiles r;
  std::vector<job::FileId> seen;
  struct ReadList {
    std::size_t hash, size;
    std::string file;
  };
  std::vector<ReadList> lists;
  for (const Found& found : Files(inputs, r.refused)) {
    const std::string& file = found.file;
    if (const std::optional<job::FileId> id = job::IdentityOf(file)) {
      if (std::find(seen.begin(), seen.end(), *id) != seen.end()) continue;
      seen.push_back(*id);
    }
    std::string bytes;
    const std::size_t limit = std::max(kMaxDstvSize, job::kMaxCutCsvSize);
    if (const job::FileResult read = job::ReadWholeFile(file, bytes, limit + 1); !read) {
      r.refused.push_back({file, "読めません: " + base::Cp932ToUtf8(read.Reason()), {}});
      continue;
    }
    const bool dstv = found.kind == Kind::kDstv || (found.named && LooksLikeDstv(bytes));
    if (bytes.size() > (dstv ? kMaxDstvSize : job::kMaxCutCsvSize)) {
      r.refused.push_back({file, "大きすぎます", {}});
      continue;
    }
    ++r.files_read;
    // A list copied whole (revisions, a backup beside it) holds no marks to tell its parts
    // apart: the same bytes are counted once, unless repeats are to be summed.
    if (!dstv && !options.sum_repeats) {
      const std::size_t hash = std::hash<std::string>{}(bytes);
      const auto same = std::find_if(lists.begin(), lists.end(), [&](const ReadList& l) {
        std::string first;
        return l.hash == hash && l.size == bytes.size() &&
               job::ReadWholeFile(l.file, first, bytes.size() + 1) && first == bytes;
      });
      if (same != lists.end()) {
        r.repeats.push_back({file, "中身が " + same->file + " と同じです。1 回だけ数えました", {}});
        continue;
      }
      lists.push_back({hash, bytes.size(), file});
    }
    if (dstv) {
      const DstvRead d = ReadDstv(bytes);
      if (!d.ok) {
        std::vector<std::string> materials;
        if (!d.part.profile.empty()) materials.push_back(MaterialKey(d.part.profile, d.part.grade));
        r.refused.push_back({file, d.error, materials});
      } else if (d.part.profile_code == "B" && !options.include_plates) {
        r.left_out.push_back({file, "板 (断面コード B) です: " + d.part.profile, {}});
      } else {
        r.parts.push_back({file, d.part.mark, d.part.profile, d.part.grade, "", d.part.length,
                           d.part.quantity, d.part.kg_per_m, false});
      }
      continue;
    }
    PartList list = ReadPartList(file, bytes, options.columns);
    const bool txt = base::UpperAscii(fs::path(file).extension().string()) == ".TXT";
    if (txt && !found.named && options.columns == nullptr && !list.headed) {
      // A log or a note beside the lists: a list in a ".txt" names its columns.
      r.left_out.push_back({file, "見出しのない .txt は部品表として読みません", {}});
      continue;
    }
    r.columns = list.columns;
    r.last_list = file;
    if (!list.ok) {
      r.refused.push_back(std::move(list.refused));
      continue;
    }
    r.skipped_lines += list.skipped_lines;
    r.parts.insert(r.parts.end(), list.parts.begin(), list.parts.end());
  }
  ResolveRepeats(r, options.sum_repeats);
  return r;
}

}  // namespace zarvel::exchange
