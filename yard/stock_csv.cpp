#include "yard/stock_csv.h"

#include <array>
#include <charconv>

#include "base/cp932.h"
#include "base/format.h"
#include "base/outside_text.h"

namespace zarvel::yard {
namespace {

enum Column { kSection, kLength, kCount, kOffcut, kLocation, kLot, kGrade, kColumns };

int ColumnNamed(const std::string& name) {
  static const std::array<std::vector<std::string>, kColumns> names = {{
      {"section", "鋼材名", "鋼材", "断面", "部材名"},
      {"length", "長さ", "長さ(mm)"},
      {"count", "本数", "数量"},
      {"offcut", "端材", "種別"},
      {"location", "置場", "置き場", "場所"},
      {"lot", "ロット", "チャージ", "ヒート"},
      {"grade", "材質", "規格", "鋼種"},
  }};
  for (int c = 0; c < kColumns; ++c)
    for (const std::string& n : names[static_cast<std::size_t>(c)])
      if (name == n) return c;
  return -1;
}

bool Number(const std::string& s, int64_t& value) {
  const char* end = s.data() + s.size();
  const auto [at, ec] = std::from_chars(s.data(), end, value);
  return ec == std::errc() && at == end;
}

bool Offcut(const std::string& s, bool& offcut) {
  for (const char* yes : {"1", "true", "yes", "offcut", "端材", "○"})
    if (s == yes) return offcut = true;
  for (const char* no : {"", "0", "false", "no", "standard", "定尺"}) {
    if (s == no) {
      offcut = false;
      return true;
    }
  }
  return false;
}

// A field the reader would split or trim is quoted: separators (the semicolon too), quotes, line
// ends, and blanks at either end.
std::string Quoted(const std::string& s) {
  const bool edge_blank = !s.empty() && (s.front() == ' ' || s.back() == ' ');
  if (s.find_first_of(",;\"\t\r\n") == std::string::npos && !edge_blank) return s;
  std::string q = "\"";
  for (const char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

}  // namespace

bool ReadStockCsv(const std::string& raw, std::vector<NewItem>& items, std::string& error) {
  const std::string bytes = base::DecodeToUtf8(raw);
  std::array<int, kColumns> at = {0, 1, 2, 3, 4, 5, 6};
  items.clear();
  std::size_t start = 0;
  bool first = true;  // only the first line may be a heading
  for (int line_no = 1; start < bytes.size(); ++line_no) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    const std::vector<std::string> f =
        base::SplitFields(line, base::FieldSeparator(line), base::Encoding::kUtf8);
    start = end + 1;
    if (f.size() == 1 && f[0].empty()) continue;
    int64_t length = 0, count = 0;
    auto field = [&](Column c) -> std::string {
      const int i = at[static_cast<std::size_t>(c)];
      return i >= 0 && static_cast<std::size_t>(i) < f.size() ? f[static_cast<std::size_t>(i)]
                                                              : std::string();
    };
    const bool heading = first && !Number(field(kLength), length);
    first = false;
    if (heading) {
      // A heading line names the columns.
      at.fill(-1);
      for (std::size_t i = 0; i < f.size(); ++i)
        if (const int c = ColumnNamed(f[i]); c >= 0)
          at[static_cast<std::size_t>(c)] = static_cast<int>(i);
      if (at[kSection] < 0 || at[kLength] < 0 || at[kCount] < 0) {
        error = base::Format("%d 行目: 鋼材名・長さ・本数の列が見つかりません。", line_no);
        return false;
      }
      continue;
    }
    NewItem n;
    n.section = field(kSection);
    n.location = field(kLocation);
    n.lot = field(kLot);
    n.grade = field(kGrade);
    n.source = "棚卸し";
    if (!Number(field(kLength), length) || length < kMinLength || length > kMaxLength) {
      error = base::Format("%d 行目: 長さ「%s」は %d〜%d mm の整数で書いて下さい。", line_no,
                           field(kLength).c_str(), kMinLength, kMaxLength);
      return false;
    }
    if (!Number(field(kCount), count) || count < 1 || count > kMaxCount) {
      error = base::Format("%d 行目: 本数「%s」は 1〜%lld の整数で書いて下さい。", line_no,
                           field(kCount).c_str(), static_cast<long long>(kMaxCount));
      return false;
    }
    if (!Offcut(field(kOffcut), n.offcut)) {
      error = base::Format("%d 行目: 端材の欄「%s」は 1 か 0（端材か定尺）で書いて下さい。",
                           line_no, field(kOffcut).c_str());
      return false;
    }
    n.length = static_cast<int32_t>(length);
    n.count = count;
    items.push_back(n);
  }
  return true;
}

std::string StockCsv(const std::vector<Item>& items) {
  std::string csv = "id,section,length,count,offcut,location,lot,source,grade\r\n";
  for (const Item& i : items) {
    csv +=
        base::Format("%lld,", static_cast<long long>(i.id)) + Quoted(i.section) +
        base::Format(",%d,%lld,%d,", i.length, static_cast<long long>(i.count), i.offcut ? 1 : 0) +
        Quoted(i.location) + "," + Quoted(i.lot) + "," + Quoted(i.source) + "," + Quoted(i.grade) +
        "\r\n";
  }
  return csv;
}

}  // namespace zarvel::yard
