#include "job/cut_csv.h"

#include <algorithm>

#include "base/cell_text.h"
#include "base/cp932.h"
#include "base/format.h"
#include "base/lines.h"
#include "base/numbers.h"
#include "job/job_file.h"
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
    return text::Utf8ToCp932(std::string_view(bytes).substr(3));
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
    return text::Utf8ToCp932(Utf16ToUtf8(bytes, true));
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF')
    return text::Utf8ToCp932(Utf16ToUtf8(bytes, false));
  // Japanese CP932 text is almost never valid UTF-8; UTF-8 with Japanese always is.
  if (HasHighBytes(bytes) && ValidUtf8(bytes)) return text::Utf8ToCp932(bytes);
  return bytes;
}

// Blanks, full-width blanks included, off both ends.
std::string Trim(const std::string& s) {
  const std::string& wide = text::Lit("　");
  std::string_view v = text::TrimBlanks(s);
  while (true) {
    if (v.size() >= 2 && v.compare(0, 2, wide) == 0) {
      v = text::TrimBlanks(v.substr(2));
    } else if (v.size() >= 2 && v.compare(v.size() - 2, 2, wide) == 0) {
      v = text::TrimBlanks(v.substr(0, v.size() - 2));
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
  for (std::size_t i = 0; i < line.size(); i += text::CharLength(line, i)) {
    const char c = line[i];
    if (text::CharLength(line, i) == 2) {
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

// Whether a first field is meant as a number: it starts with a digit, or a sign or point and
// one. Anything else is a heading, as pasting skips a line whose first value reads as 0.
bool StartsWithNumber(const std::string& s) {
  const std::string half = text::HalfWidthDigits(s);
  auto digit = [&](std::size_t i) { return i < half.size() && half[i] >= '0' && half[i] <= '9'; };
  if (digit(0)) return true;
  return !half.empty() && (half[0] == '-' || half[0] == '+' || half[0] == '.') && digit(1);
}

// A whole number as a spreadsheet writes it: digits (full-width too), thousands commas, and
// a decimal part of zeros only. -1 when the text is anything else.
int64_t WholeNumber(const std::string& field) {
  const std::string s = text::HalfWidthDigits(field);
  int64_t v = 0;
  int digits = 0;
  std::size_t i = 0;
  for (; i < s.size() && s[i] != '.'; ++i) {
    if (s[i] == ',' && digits > 0) continue;
    if (s[i] < '0' || s[i] > '9') return -1;
    if (v < 1'000'000'000) v = v * 10 + (s[i] - '0');
    ++digits;
  }
  if (digits == 0) return -1;
  if (i < s.size()) {  // ".", then zeros only
    for (++i; i < s.size(); ++i)
      if (s[i] != '0') return -1;
  }
  return v;
}

std::string LineError(int line, const char* what, const std::string& field) {
  return text::Format("%d", line) + text::Lit(" 行目：") + text::Lit(what) + text::Lit("「") +
         field + text::Lit("」");
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

CutCsv ReadLines(const std::string& bytes, int capacity);

}  // namespace

CutCsv ReadCutCsv(const std::string& bytes, int capacity) {
  CutCsv result = ReadLines(bytes, capacity);
  if (!result.ok) result.pieces.clear();  // all or nothing
  return result;
}

namespace {

CutCsv ReadLines(const std::string& bytes, int capacity) {
  CutCsv result;
  bool data_seen = false;
  const std::vector<std::string> lines = text::SplitLines(ToCp932(bytes));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    const std::string& line = lines[i];
    const char separator = line.find('\t') != std::string::npos  ? '\t'
                           : line.find(';') != std::string::npos ? ';'
                                                                 : ',';
    const std::vector<std::string> f = Fields(line, separator);
    if (std::all_of(f.begin(), f.end(), [](const std::string& s) { return s.empty(); })) continue;
    // Headings come before the list; a line that is not a number inside it would be a piece
    // lost without a word, so it is named instead.
    if (!StartsWithNumber(f[0]) && !data_seen) continue;
    data_seen = true;
    const int64_t length = RuledNumber(f[0], kLengthRule, number, result.error);
    if (length < 0) return result;
    int64_t count = 1;  // a line with only a length is one piece, as pasting takes it
    if (f.size() > 1 && !f[1].empty()) {
      count = RuledNumber(f[1], kCountRule, number, result.error);
      if (count < 0) return result;
    }
    auto same = std::find_if(result.pieces.begin(), result.pieces.end(),
                             [&](const CutPiece& p) { return p.length == length; });
    if (same != result.pieces.end()) {
      if (same->count + count > kMaxCutCsvCount) {
        result.error = LineError(number, "同じ長さの本数の合計が 99999 を超えます",
                                 f.size() > 1 ? f[1] : std::string());
        return result;
      }
      same->count += static_cast<int32_t>(count);
      continue;
    }
    if (static_cast<int>(result.pieces.size()) >= capacity) {
      result.error = text::Format("%d", number) + text::Lit(" 行目：切断リストに入る ") +
                     text::Format("%d", capacity) + text::Lit(" 種類の長さを超えます");
      return result;
    }
    result.pieces.push_back({static_cast<int32_t>(length), static_cast<int32_t>(count)});
  }
  if (result.pieces.empty()) {
    result.error = text::Lit("長さと本数の行がありません");
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace

int GridCapacity(const optimiser::Grid& grid) {
  return std::max(grid.ColCount() - 1, 0) * std::max(grid.RowCount() - 1, 0);
}

void FillGrid(optimiser::Grid& grid, const std::vector<CutPiece>& pieces) {
  std::size_t k = 0;
  for (int r = 1; r < grid.RowCount(); ++r) {
    for (int c = 1; c < grid.ColCount(); ++c, ++k) {
      grid.SetCell(c, r,
                   k < pieces.size() ? text::FormatCellText(
                                           text::Format("%d.%d", pieces[k].length, pieces[k].count))
                                     : std::string());
    }
  }
  grid.Refresh();
}

bool LoadCutCsvFile(const std::string& path, optimiser::Grid& grid, std::string& message) {
  std::string bytes;
  const std::size_t slash = path.rfind('/');
  const std::string name =
      text::Utf8ToCp932(slash == std::string::npos ? path : path.substr(slash + 1));
  if (!ReadWholeFile(path, bytes, kMaxCutCsvSize + 1)) {
    message = CannotReadMessage(path);
    return false;
  }
  CutCsv csv;
  if (bytes.size() > kMaxCutCsvSize) {
    csv.error = text::Lit("切断リストとしては大きすぎます");
  } else {
    csv = ReadCutCsv(bytes, GridCapacity(grid));
  }
  if (!csv.ok) {
    message = text::Lit("[#×]") + name + text::Lit(" を読み込めません。\n") + csv.error +
              text::Lit("\n切断リストは変更していません。");
    return false;
  }
  FillGrid(grid, csv.pieces);
  return true;
}

}  // namespace zarvel::job
