#include "exchange/part_import.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "catalog/sections.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "job/piece_marks.h"

namespace zarvel::exchange {

namespace {

struct Group {
  std::string profile;
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

}  // namespace

std::vector<ImportedJob> GroupParts(const std::vector<ImportPart>& parts, int capacity) {
  std::vector<Group> groups;
  for (const ImportPart& p : parts) {
    const catalog::Recognised r = catalog::Recognise(p.profile);
    // Spellings of one section are one group; other profiles go by their text.
    auto g = std::find_if(groups.begin(), groups.end(), [&](const Group& x) {
      return r.section != nullptr ? x.section == r.section
                                  : x.section == nullptr && x.profile == p.profile;
    });
    if (g == groups.end()) {
      groups.push_back({p.profile, r.section, 0, {}, {}, 0});
      g = groups.end() - 1;
    }
    if (g->file_weight == 0) g->file_weight = p.kg_per_m;
    const auto length = static_cast<int32_t>(std::ceil(p.length - 1e-9));
    if (length != p.length)
      g->rounded += static_cast<int>(std::min<long long>(p.quantity, 1 << 30));
    long long& count = g->counts[length];
    count = std::min<long long>(count + p.quantity, job::kMaxCutCsvCount);
    if (!p.mark.empty())
      job::AddMark(g->marks, base::Utf8ToCp932(p.mark), length,
                   static_cast<int32_t>(std::min<long long>(p.quantity, job::kMaxCutCsvCount)));
  }
  std::vector<ImportedJob> jobs;
  for (const Group& g : groups) {
    const std::size_t first = jobs.size();
    for (const auto& [length, count] : g.counts) {
      if (jobs.size() == first || static_cast<int>(jobs.back().pieces.size()) >= capacity) {
        jobs.push_back({});
        ImportedJob& j = jobs.back();
        j.profile = g.profile;
        j.section = g.section != nullptr ? g.section->name : g.profile;
        j.unit_weight = g.section != nullptr ? g.section->kg_per_m : g.file_weight;
        j.part = static_cast<int>(jobs.size() - first);
      }
      jobs.back().pieces.push_back({length, static_cast<int32_t>(count)});
    }
    const int parts_of_profile = static_cast<int>(jobs.size() - first);
    for (std::size_t k = first; k < jobs.size(); ++k) {
      ImportedJob& j = jobs[k];
      j.parts = parts_of_profile;
      for (const optimiser::PieceMark& m : g.marks) {
        const bool here = std::any_of(j.pieces.begin(), j.pieces.end(),
                                      [&](const job::CutPiece& c) { return c.length == m.length; });
        if (here) j.marks.push_back(m);
      }
    }
    if (first < jobs.size()) jobs[first].rounded = g.rounded;
  }
  return jobs;
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
  if (out.size() > 180) out.resize(180);  // room for " (2)_3.zv5" within a name's 255 bytes
  while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.pop_back();
  if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xC0) out.pop_back();
  return out.empty() ? "部材" : out;
}

job::FileResult WriteImportedJob(ImportedJob& j, const std::string& folder,
                                 const std::string& template_path) {
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  if (!template_path.empty()) {
    if (job::FileResult read = job::OpenJobFile(form, template_path); !read) return read;
  }
  form.SetFieldText(run::JobField::kMemberName, base::Utf8ToCp932(j.section));
  if (j.unit_weight > 0)
    form.SetFieldText(run::JobField::kUnitWeight, base::Format("%8.2f", j.unit_weight));
  job::FillGrid(form.CutGrid(), j.pieces);
  *form.MarkList() = j.marks;
  form.RelayoutGrids();

  // Pieces no bar of the template's stock can give, named before any run.
  int32_t longest = 0;
  for (int i = 1; i <= records->stock.count; ++i)
    longest = std::max(longest, records->stock.entries[i].length);
  const long long margin = base::AtoI(form.Field(run::JobField::kMargin).Text());
  for (const job::CutPiece& c : j.pieces) {
    if (c.length < 2) {
      j.warnings.push_back(
          base::Format("%d mm × %d 本: 2 mm より短い切断材です", c.length, c.count));
    } else if (longest > 0 && c.length + margin > longest) {
      j.warnings.push_back(
          base::Format("%d mm × %d 本: 最長の素材 %d mm（素材の余裕 %lld mm）から取れません",
                       c.length, c.count, longest, margin));
    }
  }

  std::string base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  base += SafeFileName(j.section) + (j.parts > 1 ? base::Format("_%d", j.part) : "");
  std::string path = base + ".zv5";
  for (int n = 2; Exists(path) && n < 10000; ++n) path = base + base::Format(" (%d).zv5", n);
  j.file = path;
  return job::WriteJobFile(form, path);
}

}  // namespace zarvel::exchange
