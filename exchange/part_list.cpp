#include "exchange/part_list.h"

#include <algorithm>
#include <climits>
#include <filesystem>

#include "base/cp932.h"
#include "base/format.h"
#include "base/outside_text.h"

namespace zarvel::exchange {

namespace {

namespace fs = std::filesystem;

std::string Utf8(const std::string& cp932) {
  return base::Cp932ToUtf8(cp932);
}

// "3, 5, 9 行目" (at most ten lines named).
std::string LineList(const std::vector<int>& lines) {
  std::string s;
  for (std::size_t i = 0; i < lines.size() && i < 10; ++i)
    s += (i ? ", " : "") + std::to_string(lines[i]);
  if (lines.size() > 10) s += base::Format(" ほか %zu 行", lines.size() - 10);
  return s + " 行目";
}

}  // namespace

PartList ReadPartList(const std::string& file, const std::string& bytes,
                      const job::ColumnChoice* choice) {
  PartList r;
  const job::CutCsv csv = job::ReadCutCsv(bytes, INT_MAX, choice);
  r.headed = csv.headed;
  r.columns = csv.columns;
  if (!csv.ok) {
    r.refused = {file, base::Cp932ToUtf8(csv.error), {}};
    return r;
  }
  r.skipped_lines = csv.titles_skipped + csv.totals_skipped;
  std::vector<int> blank;
  std::vector<ImportPart> parts;
  for (const job::CsvPart& p : csv.parts) {
    if (csv.columns.section >= 0 && p.section.empty()) {
      blank.push_back(p.line);
      continue;
    }
    // A list without a section column is one job, named after the file.
    const std::string profile = p.section.empty()
                                    ? fs::path(file).stem().string()
                                    : base::FoldAllBlanks(Utf8(p.section), base::Encoding::kUtf8);
    parts.push_back({file, Utf8(p.mark), profile, Utf8(p.grade), Utf8(p.usage),
                     static_cast<double>(p.length), p.count, p.kg_per_m, p.rounded});
  }
  if (blank.empty()) {
    r.ok = true;
    r.parts = std::move(parts);
    return r;
  }
  ListedFile refused{file, "断面が空の行があります (" + LineList(blank) + ")", {}};
  for (const ImportPart& p : parts) {
    const std::string key = MaterialKey(p.profile, p.grade);
    if (std::find(refused.materials.begin(), refused.materials.end(), key) ==
        refused.materials.end())
      refused.materials.push_back(key);
  }
  if (parts.empty()) refused.materials.clear();
  r.refused = std::move(refused);
  return r;
}

namespace {

// The columns' names in the order they are shown: the Japanese ones, and the English ones that
// earlier versions showed (still read).
struct ColumnName {
  const char* japanese;  // UTF-8
  const char* english;
  int job::ColumnChoice::*member;
};
constexpr ColumnName kColumnNames[] = {
    {"符号", "mark", &job::ColumnChoice::mark},
    {"断面", "section", &job::ColumnChoice::section},
    {"材質", "grade", &job::ColumnChoice::grade},
    {"用途", "usage", &job::ColumnChoice::usage},
    {"長さ", "length", &job::ColumnChoice::length},
    {"本数", "count", &job::ColumnChoice::count},
    {"単位重量", "weight", &job::ColumnChoice::weight},
};

}  // namespace

std::string ColumnChoiceText(const job::ColumnChoice& choice) {
  std::string text;
  for (const ColumnName& c : kColumnNames) {
    const int column = choice.*c.member;
    if (column < 0) continue;
    if (!text.empty()) text += ',';
    text += base::Lit(c.japanese) + "=" + std::to_string(column + 1);
  }
  return text;
}

bool ParseColumnChoice(const std::string& text, job::ColumnChoice& choice, std::string& error) {
  choice = {};
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find(',', at);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(at, end - at);
    at = end + 1;
    const std::size_t eq = item.find('=');
    const std::string name = item.substr(0, eq);
    const std::string number = eq == std::string::npos ? std::string() : item.substr(eq + 1);
    const bool digits =
        !number.empty() && number.size() <= 3 &&
        std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
    int* slot = nullptr;
    for (const ColumnName& c : kColumnNames)
      if (name == c.english || name == base::Lit(c.japanese)) slot = &(choice.*c.member);
    if (slot == nullptr || !digits || std::stoi(number) < 1) {
      job::ColumnChoice example;
      example.mark = 0;
      example.section = 1;
      example.length = 3;
      example.count = 4;
      error = base::Lit("列の指定が読めません: ") + item + base::Lit(" (例: ") +
              ColumnChoiceText(example) + ")";
      return false;
    }
    *slot = std::stoi(number) - 1;
  }
  if (choice.length < 0) {
    error = base::Lit("列の指定に 長さ がありません");
    return false;
  }
  return true;
}

}  // namespace zarvel::exchange
