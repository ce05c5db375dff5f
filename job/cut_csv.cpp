#include "job/cut_csv.h"

#include <algorithm>
#include <initializer_list>
#include <optional>

#include "base/cell_text.h"
#include "base/cp932.h"
#include "base/format.h"
#include "base/lines.h"
#include "base/numbers.h"
#include "job/job_file.h"
#include "job/piece_marks.h"
#include "job/safe_file.h"

namespace zarvel::job {
namespace {

bool ValidUtf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int n = b < 0x80             ? 0
                  : (b & 0xE0) == 0xC0 ? 1
                  : (b & 0xF0) == 0xE0 ? 2
                  : (b & 0xF8) == 0xF0 ? 3
                                       : -1;
    if (n < 0 || (n == 1 && b < 0xC2) || i + static_cast<std::size_t>(n) >= s.size() + (n == 0))
      return false;
    for (int k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += static_cast<std::size_t>(n) + 1;
  }
  return true;
}

bool HasHighBytes(const std::string& s) {
  return std::any_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-16 (after its byte-order mark) to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::string& s, bool little_endian) {
  std::string out;
  auto unit = [&](std::size_t i) {
    const auto a = static_cast<unsigned char>(s[i]);
    const auto b = static_cast<unsigned char>(s[i + 1]);
    return static_cast<uint32_t>(little_endian ? a | (b << 8) : (a << 8) | b);
  };
  for (std::size_t i = 2; i + 1 < s.size(); i += 2) {
    uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < s.size() && unit(i + 2) >= 0xDC00 &&
        unit(i + 2) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

// The file's text in CP932, whichever of the accepted encodings it came in.
std::string ToCp932(const std::string& bytes) {
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
    return base::Utf8ToCp932(std::string_view(bytes).substr(3));
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
    return base::Utf8ToCp932(Utf16ToUtf8(bytes, true));
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF')
    return base::Utf8ToCp932(Utf16ToUtf8(bytes, false));
  // Japanese CP932 text is almost never valid UTF-8; UTF-8 with Japanese always is.
  if (HasHighBytes(bytes) && ValidUtf8(bytes)) return base::Utf8ToCp932(bytes);
  return bytes;
}

// Blanks, full-width blanks included, off both ends.
std::string Trim(const std::string& s) {
  const std::string& wide = base::Lit("　");
  std::string_view v = base::TrimBlanks(s);
  while (true) {
    if (v.size() >= 2 && v.compare(0, 2, wide) == 0) {
      v = base::TrimBlanks(v.substr(2));
    } else if (v.size() >= 2 && v.compare(v.size() - 2, 2, wide) == 0) {
      v = base::TrimBlanks(v.substr(0, v.size() - 2));
    } else {
      break;
    }
  }
  return std::string(v);
}

// Fields of a line: double quotes enclose a field (a doubled quote inside stands for one).
std::vector<std::string> Fields(const std::string& line, char separator) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); i += base::CharLength(line, i)) {
    const char c = line[i];
    if (base::CharLength(line, i) == 2) {
      fields.back() += line.substr(i, 2);
    } else if (c == '"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (c == separator && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (std::string& f : fields) f = Trim(f);
  return fields;
}

// Whether a field is meant as a number: it starts with a digit, or a sign or point and one.
bool StartsWithNumber(const std::string& s) {
  const std::string half = base::HalfWidthDigits(s);
  auto digit = [&](std::size_t i) { return i < half.size() && half[i] >= '0' && half[i] <= '9'; };
  if (digit(0)) return true;
  return !half.empty() && (half[0] == '-' || half[0] == '+' || half[0] == '.') && digit(1);
}

// A whole number as a spreadsheet writes it: digits (full-width too), commas only between
// groups of three digits, and a decimal part of zeros only. -1 when the text is anything else.
int64_t WholeNumber(const std::string& field) {
  const std::string s = base::HalfWidthDigits(field);
  int64_t v = 0;
  int digits = 0;
  int group = 0;  // digits since the last comma
  bool grouped = false;
  std::size_t i = 0;
  for (; i < s.size() && s[i] != '.'; ++i) {
    if (s[i] == ',') {
      if (digits == 0 || (grouped ? group != 3 : group > 3)) return -1;
      grouped = true;
      group = 0;
      continue;
    }
    if (s[i] < '0' || s[i] > '9') return -1;
    if (v < 1'000'000'000) v = v * 10 + (s[i] - '0');
    ++digits;
    ++group;
  }
  if (digits == 0 || (grouped && group != 3)) return -1;
  if (i < s.size()) {  // ".", then zeros only
    for (++i; i < s.size(); ++i)
      if (s[i] != '0') return -1;
  }
  return v;
}

// The full-width comma and point read as their ASCII forms (walking whole characters).
std::string NarrowPunctuation(const std::string& line) {
  const std::string& comma = base::Lit("，");
  const std::string& point = base::Lit("．");
  std::string out;
  for (std::size_t i = 0; i < line.size(); i += base::CharLength(line, i)) {
    const std::string c = line.substr(i, base::CharLength(line, i));
    out += c == comma ? std::string(",") : c == point ? std::string(".") : c;
  }
  return out;
}

// A heading word compared without blanks, case or a unit: "長さ(mm)", "Length [mm]" and
// "長さ　ｍｍ" are all "長さ" / "length".
std::string HeadingWord(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); i += base::CharLength(field, i)) {
    const std::string c = field.substr(i, base::CharLength(field, i));
    if (c == " " || c == "\t" || c == base::Lit("　")) continue;
    if (c == "(" || c == "[" || c == "<" || c == base::Lit("（") || c == base::Lit("［") ||
        c == base::Lit("【") || c == base::Lit("＜"))
      break;
    out += c;
  }
  out = base::UpperAscii(out);
  while (!out.empty() && (out.back() == '.' || out.back() == ':')) out.pop_back();  // "Qty."
  for (const std::string& unit : {std::string("MM"), base::Lit("ｍｍ"), base::Lit("㎜")}) {
    if (out.size() > unit.size() && out.compare(out.size() - unit.size(), unit.size(), unit) == 0)
      out.erase(out.size() - unit.size());
  }
  return out;
}

bool OneOf(const std::string& word, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(),
                     [&](const char* n) { return word == base::Lit(n); });
}
bool NamesLength(const std::string& word) {
  return OneOf(word, {"長さ", "長", "寸法", "切断長", "切断長さ", "切断寸法", "製品長", "製品長さ",
                      "部材長", "部材長さ", "材長", "全長", "LENGTH", "LEN", "L"});
}
bool NamesCount(const std::string& word) {
  return OneOf(word, {"本数", "数量", "数", "個数", "員数", "必要数", "必要本数", "切断本数", "本",
                      "COUNT", "QTY", "QUANTITY", "PCS", "PIECES", "N"});
}
bool NamesMark(const std::string& word) {
  return OneOf(word, {"符号", "マーク", "部材符号", "製品符号", "部品符号", "MARK", "PIECEMARK",
                      "PARTMARK", "POS", "POSITION"});
}
bool NamesSection(const std::string& word) {
  return OneOf(word, {"断面", "部材", "鋼材", "部材名", "断面寸法", "規格", "形状", "PROFILE",
                      "SECTION", "SIZE"});
}
bool NamesGrade(const std::string& word) {
  return OneOf(word, {"材質", "鋼種", "GRADE", "MATERIAL"});
}
bool NamesTotal(const std::string& word) {
  return OneOf(word, {"合計", "計", "総計", "小計", "TOTAL", "SUM"});
}

std::string LineError(int line, const char* what, const std::string& field) {
  return base::Format("%d", line) + base::Lit(" 行目：") + base::Lit(what) + base::Lit("「") +
         field + base::Lit("」");
}

// What a number field may hold, and what a line that breaks it is told.
struct FieldRule {
  int64_t least;
  int64_t most;
  const char* unreadable;
  const char* out_of_range;
};
constexpr FieldRule kLengthRule{2, kMaxCutCsvLength, "長さが読めません",
                                "長さは 2～99999 (mm) にして下さい"};
constexpr FieldRule kCountRule{1, kMaxCutCsvCount, "本数が読めません",
                               "本数は 1～99999 にして下さい"};

// The field's whole number, or -1 with the line's error when it breaks the rule.
int64_t RuledNumber(const std::string& field, const FieldRule& rule, int line, std::string& error) {
  const int64_t v = WholeNumber(field);
  if (v >= rule.least && v <= rule.most) return v;
  error = LineError(line, v < 0 ? rule.unreadable : rule.out_of_range, field);
  return -1;
}

// Which field holds what: from a heading line, or by position (length, then count).
struct Columns {
  std::size_t length = 0;
  std::size_t count = 1;
  std::optional<std::size_t> mark, section, grade;
  std::size_t named = 0;       // fields of the heading line; 0 without one
  std::vector<bool> untitled;  // the heading left that field blank
  bool has_count = true;
};

// A heading that names the length (and the count) decides the columns. Answers whether the
// line is one; a heading that names only the count in another place than the second field
// cannot say where the length is, and is refused.
bool ReadHeading(const std::vector<std::string>& f, Columns& columns, int line,
                 std::string& error) {
  // A line with a number is a piece, whatever words stand beside it ("3500,4,本").
  if (std::any_of(f.begin(), f.end(), StartsWithNumber)) return false;
  std::optional<std::size_t> length, count, mark, section, grade;
  for (std::size_t i = 0; i < f.size(); ++i) {
    const std::string word = HeadingWord(f[i]);
    if (!length && NamesLength(word)) length = i;
    if (!count && NamesCount(word)) count = i;
    if (!mark && NamesMark(word)) mark = i;
    if (!section && NamesSection(word)) section = i;
    if (!grade && NamesGrade(word)) grade = i;
  }
  if (!length && !count) return false;
  if (!length && *count != 1) {
    error = LineError(line, "見出しに長さの列が見つかりません", f[*count]);
    return true;
  }
  columns.length = length.value_or(0);
  columns.mark = mark;
  columns.section = section;
  columns.grade = grade;
  columns.has_count = count.has_value();
  columns.count = count.value_or(0);
  columns.named = f.size();
  columns.untitled.clear();
  for (const std::string& field : f) columns.untitled.push_back(field.empty());
  return true;
}

// A comma line that begins with a number split by its comma, as "3,500,4" (3 500 mm × 4)
// or "3,50": an unquoted thousands separator or a decimal comma is not guessed at.
bool CommaInsideNumber(const std::vector<std::string>& f, const Columns& columns, char separator) {
  if (separator != ',' || columns.length + 1 >= f.size()) return false;
  const std::string length = base::HalfWidthDigits(f[columns.length]);
  const std::string next = base::HalfWidthDigits(f[columns.length + 1]);
  auto digits = [](const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!digits(length) || !digits(next)) return false;
  return (length.size() == 1 && length != "0") || (length.size() == 2 && next.size() == 3);
}

CutCsv ReadLines(const std::string& bytes, int capacity, const ColumnChoice* choice);

// UTF-16 without a byte-order mark: NUL bytes, nearly all at one parity.
bool LooksLikeBomlessUtf16(const std::string& bytes) {
  std::size_t even = 0, odd = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] == '\0') ++(i % 2 == 0 ? even : odd);
  return std::max(even, odd) * 4 >= bytes.size() / 2 + 1 &&
         std::min(even, odd) * 8 <= std::max(even, odd);
}

}  // namespace

CutCsv ReadCutCsv(const std::string& bytes, int capacity, const ColumnChoice* choice) {
  CutCsv result = ReadLines(bytes, capacity, choice);
  if (!result.ok) {  // all or nothing
    result.pieces.clear();
    result.parts.clear();
  }
  return result;
}

namespace {

// The columns' names in the order they are shown: the Japanese ones, and the English ones that
// earlier versions showed (still read).
struct ColumnName {
  const char* japanese;  // UTF-8
  const char* english;
  int ColumnChoice::*member;
};
constexpr ColumnName kColumnNames[] = {
    {"符号", "mark", &ColumnChoice::mark},   {"断面", "section", &ColumnChoice::section},
    {"材質", "grade", &ColumnChoice::grade}, {"長さ", "length", &ColumnChoice::length},
    {"本数", "count", &ColumnChoice::count},
};

}  // namespace

std::string ColumnChoiceText(const ColumnChoice& choice) {
  std::string text;
  for (const ColumnName& c : kColumnNames) {
    const int column = choice.*c.member;
    if (column < 0) continue;
    if (!text.empty()) text += ',';
    text += base::Lit(c.japanese) + "=" + std::to_string(column + 1);
  }
  return text;
}

bool ParseColumnChoice(const std::string& text, ColumnChoice& choice, std::string& error) {
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
      error = base::Lit("列の指定が読めません: ") + item + base::Lit(" (例: ") +
              ColumnChoiceText({.length = 3, .count = 4, .mark = 0, .section = 1}) + ")";
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

namespace {

CutCsv ReadLines(const std::string& bytes, int capacity, const ColumnChoice* choice) {
  CutCsv result;
  const bool utf16_mark = bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                                                (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
  if (!utf16_mark && bytes.find('\0') != std::string::npos) {
    result.error = LooksLikeBomlessUtf16(bytes)
                       ? base::Lit(
                             "UTF-16 (BOM なし) のファイルです。BOM 付きの UTF-16、UTF-8 "
                             "か Shift_JIS で保存し直して下さい")
                       : base::Lit("文字のファイルではありません");
    return result;
  }
  bool data_seen = false;
  Columns columns;
  if (choice != nullptr) {
    const auto at = [](int c) {
      return c < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(c));
    };
    columns.length = static_cast<std::size_t>(choice->length);
    columns.has_count = choice->count >= 0;
    columns.count = columns.has_count ? static_cast<std::size_t>(choice->count) : 0;
    columns.mark = at(choice->mark);
    columns.section = at(choice->section);
    columns.grade = at(choice->grade);
    columns.named = 1000;  // every column is as the user chose: none is refused for a number
    columns.untitled.assign(columns.named, false);
  }
  const std::vector<std::string> lines = base::SplitLines(ToCp932(bytes));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    const std::string line = NarrowPunctuation(lines[i]);
    const char separator = line.find('\t') != std::string::npos  ? '\t'
                           : line.find(';') != std::string::npos ? ';'
                                                                 : ',';
    const std::vector<std::string> f = Fields(line, separator);
    if (std::all_of(f.begin(), f.end(), [](const std::string& s) { return s.empty(); })) continue;
    if (choice == nullptr && ReadHeading(f, columns, number, result.error)) {
      if (!result.error.empty()) return result;
      continue;
    }
    const std::string length_field = columns.length < f.size() ? f[columns.length] : std::string();
    // A total row: labelled 合計, 計, ... where no length stands or before the length (a 計
    // after the numbers is a remark).
    const bool no_length = !StartsWithNumber(length_field);
    bool total = false;
    for (std::size_t k = 0; k < f.size() && !total; ++k)
      total = (no_length || k < columns.length) && NamesTotal(HeadingWord(f[k]));
    if (total) {
      ++result.totals_skipped;
      continue;
    }
    // Titles come before the list; a line that is not a number inside it would be a piece
    // lost without a word, so it is named instead.
    if (!StartsWithNumber(length_field) && !data_seen) {
      ++result.titles_skipped;
      continue;
    }
    if (!data_seen) {  // the columns this list is read by
      const auto at = [](const std::optional<std::size_t>& c) {
        return c ? static_cast<int>(*c) : -1;
      };
      result.columns = {static_cast<int>(columns.length),
                        columns.has_count ? static_cast<int>(columns.count) : -1, at(columns.mark),
                        at(columns.section), at(columns.grade)};
    }
    data_seen = true;
    const std::string shown = Trim(lines[i]);
    if (CommaInsideNumber(f, columns, separator)) {
      result.error = LineError(number, "コンマが数の区切りか桁区切りか分かりません", shown);
      return result;
    }
    // A number where no heading says what it is, or a third number without a heading.
    const std::size_t known = columns.named > 0 ? columns.named : 2;
    for (std::size_t k = 0; k < f.size(); ++k) {
      if (k == columns.length || (columns.has_count && k == columns.count) || k == columns.mark ||
          k == columns.section || k == columns.grade)
        continue;
      const bool unnamed = k >= known || (columns.named > 0 && columns.untitled[k]);
      if (unnamed && StartsWithNumber(f[k])) {
        result.error =
            LineError(number,
                      columns.named > 0 ? "見出しのない列に数があります"
                                        : "長さと本数のほかにも数があります。見出し (長さ,本数) "
                                          "で列を示して下さい",
                      shown);
        return result;
      }
    }
    const int64_t length = RuledNumber(length_field, kLengthRule, number, result.error);
    if (length < 0) return result;
    int64_t count = 1;  // a line with only a length is one piece, as pasting takes it
    const std::string count_field =
        columns.has_count && columns.count < f.size() ? f[columns.count] : std::string();
    if (!count_field.empty()) {
      count = RuledNumber(count_field, kCountRule, number, result.error);
      if (count < 0) return result;
    }
    const auto field = [&](const std::optional<std::size_t>& c) {
      return c && *c < f.size() ? f[*c] : std::string();
    };
    result.parts.push_back({field(columns.mark), field(columns.section), field(columns.grade),
                            static_cast<int32_t>(length), static_cast<int32_t>(count)});
    const std::string& section = result.parts.back().section;
    if (!section.empty() &&
        std::find(result.sections.begin(), result.sections.end(), section) == result.sections.end())
      result.sections.push_back(section);
    auto same = std::find_if(result.pieces.begin(), result.pieces.end(),
                             [&](const CutPiece& p) { return p.length == length; });
    if (same != result.pieces.end()) {
      if (same->count + count > kMaxCutCsvCount) {
        result.error = LineError(number, "同じ長さの本数の合計が 99999 を超えます", count_field);
        return result;
      }
      same->count += static_cast<int32_t>(count);
      continue;
    }
    if (static_cast<int>(result.pieces.size()) >= capacity) {
      result.error = base::Format("%d", number) + base::Lit(" 行目：切断リストに入る ") +
                     base::Format("%d", capacity) + base::Lit(" 種類の長さを超えます");
      return result;
    }
    result.pieces.push_back({static_cast<int32_t>(length), static_cast<int32_t>(count)});
  }
  if (result.pieces.empty()) {
    result.error = base::Lit("長さと本数の行がありません");
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace

std::vector<std::vector<std::string>> CsvPreview(const std::string& bytes, int rows) {
  std::vector<std::vector<std::string>> preview;
  const bool utf16_mark = bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                                                (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
  if (!utf16_mark && bytes.find('\0') != std::string::npos) return preview;
  for (const std::string& raw : base::SplitLines(ToCp932(bytes))) {
    if (static_cast<int>(preview.size()) >= rows) break;
    const std::string line = NarrowPunctuation(raw);
    const char separator = line.find('\t') != std::string::npos  ? '\t'
                           : line.find(';') != std::string::npos ? ';'
                                                                 : ',';
    std::vector<std::string> f = Fields(line, separator);
    if (std::any_of(f.begin(), f.end(), [](const std::string& s) { return !s.empty(); }))
      preview.push_back(std::move(f));
  }
  return preview;
}

int GridCapacity(const run::Grid& grid) {
  return std::max(grid.ColCount() - 1, 0) * std::max(grid.RowCount() - 1, 0);
}

void FillGrid(run::Grid& grid, const std::vector<CutPiece>& pieces) {
  grid.typed_texts.clear();  // what the replaced cells were typed as
  std::size_t k = 0;
  for (int r = 1; r < grid.RowCount(); ++r) {
    for (int c = 1; c < grid.ColCount(); ++c, ++k) {
      grid.SetCell(c, r,
                   k < pieces.size() ? base::FormatCellText(
                                           base::Format("%d.%d", pieces[k].length, pieces[k].count))
                                     : std::string());
    }
  }
  grid.Refresh();
}

bool LoadCutCsvFile(const std::string& path, run::Grid& grid, std::string& message,
                    std::vector<optimiser::PieceMark>* marks) {
  std::string bytes;
  const std::size_t slash = path.rfind('/');
  const std::string name =
      base::Utf8ToCp932(slash == std::string::npos ? path : path.substr(slash + 1));
  if (!ReadWholeFile(path, bytes, kMaxCutCsvSize + 1)) {
    message = CannotReadMessage(path);
    return false;
  }
  CutCsv csv;
  if (bytes.size() > kMaxCutCsvSize) {
    csv.error = base::Lit("切断リストとしては大きすぎます");
  } else {
    csv = ReadCutCsv(bytes, GridCapacity(grid));
    if (csv.ok && csv.sections.size() > 1) {
      csv.ok = false;
      csv.error = base::Lit("断面が ") + base::Format("%zu", csv.sections.size()) +
                  base::Lit(" 種類あります (");
      for (std::size_t i = 0; i < csv.sections.size(); ++i)
        csv.error += (i ? base::Lit("、") : "") + csv.sections[i];
      csv.error += base::Lit(
          ")。切断リストには 1 種類だけ読み込めます。部材データ読み込みで断面ごと"
          "の仕事にして下さい");
    }
  }
  if (!csv.ok) {
    message = base::Lit("[#×]") + name + base::Lit(" を読み込めません。\n") + csv.error +
              base::Lit("\n切断リストは変更していません。");
    return false;
  }
  FillGrid(grid, csv.pieces);
  if (marks != nullptr) {
    marks->clear();
    for (const CsvPart& p : csv.parts)
      if (!p.mark.empty()) AddMark(*marks, p.mark, p.length, p.count);
  }
  message.clear();
  if (csv.titles_skipped > 0 || csv.totals_skipped > 0) {
    std::string skipped;
    if (csv.titles_skipped > 0)
      skipped = base::Format(base::Lit("表題 %d 行").c_str(), csv.titles_skipped);
    if (csv.totals_skipped > 0)
      skipped += (skipped.empty() ? "" : base::Lit("と")) +
                 base::Format(base::Lit("合計の行 %d 行").c_str(), csv.totals_skipped);
    message = name + base::Lit(" を切断リストに読み込みました。\n$") + skipped +
              base::Lit("を読み飛ばしました。");
  }
  return true;
}

}  // namespace zarvel::job
