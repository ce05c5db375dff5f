#include "exchange/part_import.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "base/outside_text.h"
#include "catalog/sections.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "job/piece_marks.h"
#include "job/safe_file.h"

namespace zarvel::exchange {

namespace {

struct Group {
  std::string key;
  std::string profile;
  std::string grade;
  std::vector<std::string> usages;
  const catalog::Section* section = nullptr;
  double file_weight = 0;
  std::map<int32_t, long long, std::greater<>> counts;  // whole mm, longest first
  std::vector<optimiser::PieceMark> marks;
  int rounded = 0;
};

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Blanks dropped and ASCII letters upper-cased: one spelling for "HEA 200", "hea200", "SN490b".
std::string Folded(const std::string& utf8) {
  std::string out;
  for (const char c : base::FoldAllBlanks(utf8, base::Encoding::kUtf8))
    if (c != ' ') out += c;
  return base::UpperAscii(out);
}

}  // namespace

std::string MaterialKey(const std::string& profile, const std::string& grade) {
  const catalog::Recognised r = catalog::Recognise(profile);
  return (r.section != nullptr ? "S:" + r.section->name : "P:" + Folded(profile)) + "|" +
         Folded(grade);
}

std::vector<std::vector<job::CutPiece>> SplitLengths(const std::vector<job::CutPiece>& pieces,
                                                     int jobs) {
  std::vector<std::vector<job::CutPiece>> split(static_cast<std::size_t>(std::max(jobs, 1)));
  const std::size_t n = split.size();
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const std::size_t round = i / n, place = i % n;
    split[round % 2 == 0 ? place : n - 1 - place].push_back(pieces[i]);
  }
  return split;
}

std::vector<ImportedJob> GroupParts(const std::vector<ImportPart>& parts, int capacity) {
  std::vector<Group> groups;
  for (const ImportPart& p : parts) {
    const std::string key = MaterialKey(p.profile, p.grade);
    auto g =
        std::find_if(groups.begin(), groups.end(), [&](const Group& x) { return x.key == key; });
    if (g == groups.end()) {
      groups.push_back({});
      g = groups.end() - 1;
      g->key = key;
      g->profile = p.profile;
      g->grade = std::string(base::TrimAllBlanks(p.grade, base::Encoding::kUtf8));
      g->section = catalog::Recognise(p.profile).section;
    }
    if (!p.usage.empty() &&
        std::find(g->usages.begin(), g->usages.end(), p.usage) == g->usages.end())
      g->usages.push_back(p.usage);
    if (g->file_weight == 0) g->file_weight = p.kg_per_m;
    const auto length = static_cast<int32_t>(std::ceil(p.length - 1e-9));
    if (length != p.length || p.rounded)
      g->rounded += static_cast<int>(std::min<long long>(p.quantity, 1 << 30));
    long long& count = g->counts[length];
    count = std::min<long long>(count + p.quantity, job::kMaxCutCsvCount);
    if (!p.mark.empty())
      job::AddMark(g->marks, base::Utf8ToCp932(p.mark), length,
                   static_cast<int32_t>(std::min<long long>(p.quantity, job::kMaxCutCsvCount)));
  }
  std::vector<ImportedJob> jobs;
  for (const Group& g : groups) {
    std::vector<job::CutPiece> all;
    for (const auto& [length, count] : g.counts)
      all.push_back({length, static_cast<int32_t>(count)});
    const int n =
        std::max<int>(1, static_cast<int>((all.size() + static_cast<std::size_t>(capacity) - 1) /
                                          static_cast<std::size_t>(std::max(capacity, 1))));
    std::string usage;
    for (const std::string& u : g.usages) usage += (usage.empty() ? "" : "・") + u;
    std::vector<std::vector<job::CutPiece>> split = SplitLengths(all, n);
    for (int k = 0; k < n; ++k) {
      ImportedJob j;
      j.profile = g.profile;
      j.section = g.section != nullptr ? g.section->name : g.profile;
      j.grade = g.grade;
      j.usage = usage;
      j.key = g.key;
      j.unit_weight = g.section != nullptr ? g.section->kg_per_m : g.file_weight;
      j.part = k + 1;
      j.parts = n;
      j.pieces = std::move(split[static_cast<std::size_t>(k)]);
      std::sort(j.pieces.begin(), j.pieces.end(),
                [](const job::CutPiece& a, const job::CutPiece& b) { return a.length > b.length; });
      for (const optimiser::PieceMark& m : g.marks) {
        const bool here = std::any_of(j.pieces.begin(), j.pieces.end(),
                                      [&](const job::CutPiece& c) { return c.length == m.length; });
        if (here) j.marks.push_back(m);
      }
      if (k == 0) j.rounded = g.rounded;
      jobs.push_back(std::move(j));
    }
  }
  return jobs;
}

void NoteMissing(std::vector<ImportedJob>& jobs, const std::vector<ListedFile>& refused) {
  for (const ListedFile& f : refused) {
    for (ImportedJob& j : jobs) {
      const bool concerns = f.materials.empty() || std::find(f.materials.begin(), f.materials.end(),
                                                             j.key) != f.materials.end();
      if (concerns) j.missing.push_back(f.file + ": " + f.reason);
    }
  }
}

std::string MissingNote(const ImportedJob& job) {
  std::string note = "読めなかった部品データがあります (この仕事に欠けているかもしれない部品):";
  for (std::size_t i = 0; i < job.missing.size(); ++i) note += (i ? "; " : " ") + job.missing[i];
  return note;
}

std::string SafeFileName(const std::string& utf8) {
  std::string out;
  for (const char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    const bool unsafe =
        b < 0x20 || b == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
    out += unsafe ? '_' : c;
  }
  while (!out.empty() && (out.front() == '.' || out.front() == ' ' || out.front() == '-'))
    out.erase(0, 1);
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  if (out.size() > 180) {  // room for " (2)_3.zv5" within a name's 255 bytes
    // Cut before the character the 181st byte belongs to: never inside one.
    std::size_t end = 180;
    while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) --end;
    out.resize(end);
    while (!out.empty() && out.back() == ' ') out.pop_back();
  }
  return out.empty() ? "部材" : out;
}

job::FileResult WriteImportedJob(ImportedJob& j, const std::string& folder,
                                 const std::string& template_path) {
  std::string text;
  if (!template_path.empty()) {
    const job::FileResult read =
        job::ReadWholeFile(template_path, text, job::kMaxJobFileSize, job::Overlong::kFail);
    if (!read) return read;
    if (!job::IsJobText(text)) return job::FileResult::Refused(EINVAL, job::NotAJobReason());
  }
  return WriteImportedJobFromText(j, folder, text);
}

job::FileResult WriteImportedJobFromText(ImportedJob& j, const std::string& folder,
                                         const std::string& template_text) {
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  job::LoadJobText(form, template_text.empty() ? nullptr : &template_text);
  // The template's stock is a list of lengths here: its link to the yard belongs to its own
  // section, and neither its grade nor its notes are this job's.
  form.yard_stock = {};
  form.grade = base::Utf8ToCp932(j.grade);
  form.import_note.clear();
  if (!j.missing.empty()) form.import_note = base::Utf8ToCp932(MissingNote(j));
  form.SetFieldText(run::JobField::kMemberName, base::Utf8ToCp932(j.section));
  if (j.unit_weight > 0) {
    form.SetFieldText(run::JobField::kUnitWeight, base::Format("%8.2f", j.unit_weight));
  } else {
    form.SetFieldText(run::JobField::kUnitWeight, "");
    j.warnings.push_back(
        "単位重量が分かりません (断面の表にもファイルにもありません)。"
        "仕事の単位重量は空です");
  }
  job::FillGrid(form.CutGrid(), j.pieces);
  *form.MarkList() = j.marks;
  form.RelayoutGrids();

  // Pieces no bar of the template's stock can give, as the planner sees them: a piece fits a
  // bar when it is no longer than the bar and its margin.
  int32_t longest = 0;
  for (int i = 1; i <= records->stock.count; ++i)
    longest = std::max(longest, records->stock.entries[i].length);
  const long long margin = base::AtoI(form.Field(run::JobField::kMargin).Text());
  for (const job::CutPiece& c : j.pieces) {
    if (c.length < 2) {
      j.warnings.push_back(
          base::Format("%d mm × %d 本: 2 mm より短い切断材です", c.length, c.count));
    } else if (longest > 0 && c.length > longest + margin) {
      j.warnings.push_back(
          base::Format("%d mm × %d 本: 最長の素材 %d mm（素材の余裕 %lld mm）から取れません",
                       c.length, c.count, longest, margin));
    }
  }

  std::string base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  base += SafeFileName(j.Name()) + (j.parts > 1 ? base::Format("_%d", j.part) : "");
  std::string path = base + ".zv5";
  for (int n = 2; Exists(path) && n < 10000; ++n) path = base + base::Format(" (%d).zv5", n);
  j.file = path;
  return job::WriteJobFile(form, path);
}

}  // namespace zarvel::exchange
