#include "exchange/dstv.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace zarvel::exchange {

namespace {

// The ST block's lines in the order the standard gives them; the saw needs the first fifteen.
enum Field {
  kOrder,
  kDrawing,
  kPhase,
  kMark,
  kGrade,
  kQuantity,
  kProfile,
  kProfileCode,
  kLength,
  kHeight,
  kFlangeWidth,
  kFlangeThickness,
  kWebThickness,
  kRadius,
  kWeight,
  kFieldsRead,
};

const char* const kFieldNames[kFieldsRead] = {
    "注文番号", "図面番号", "工区", "符号",       "材質",     "数量", "断面",    "断面コード",
    "長さ",     "高さ",     "幅",   "フランジ厚", "ウェブ厚", "半径", "単位重量"};

// Latin-1 bytes as UTF-8: every byte is a character, so nothing is lost.
std::string Latin1ToUtf8(std::string_view s) {
  std::string out;
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

// A decimal number and nothing else: digits with at most one point, an optional sign.
bool StrictNumber(std::string_view s, double& value) {
  if (s.empty() || s.size() > 40) return false;
  std::size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
  int digits = 0, points = 0;
  for (std::size_t k = i; k < s.size(); ++k) {
    if (s[k] >= '0' && s[k] <= '9') {
      ++digits;
    } else if (s[k] == '.' && points == 0) {
      ++points;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  value = std::strtod(std::string(s).c_str(), nullptr);
  return std::isfinite(value);
}

}  // namespace

std::string FoldBlanks(std::string_view text) {
  std::string out;
  for (const char c : Trim(text)) {
    if (IsBlank(c)) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

DstvRead ReadDstv(std::string_view bytes) {
  DstvRead r;
  if (bytes.find('\0') != std::string_view::npos && bytes.find('\0') + 1 < bytes.size()) {
    r.error = "文字のファイルではありません";
    return r;
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);  // a byte-order mark
  std::vector<std::string_view> fields;
  bool in_header = false;
  std::size_t at = 0;
  while (at < bytes.size() && fields.size() < kFieldsRead) {
    std::size_t end = bytes.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = bytes.substr(at, end - at);
    at = end + (bytes.substr(end, 2) == "\r\n" ? 2 : 1);
    if (Trim(line).substr(0, 2) == "**") continue;  // a comment, anywhere
    if (!in_header) {
      in_header = Trim(line) == "ST";
      continue;
    }
    // An empty line is an empty field; the values stand by their position.
    fields.push_back(Trim(line));
  }
  if (!in_header) {
    r.error = "ST ブロック（ヘッダー）がありません";
    return r;
  }
  if (fields.size() <= kLength) {
    r.error = std::string("ヘッダーが途中で終わっています（") + kFieldNames[fields.size()] +
              "の行がありません）";
    return r;
  }
  const auto text = [&](Field f) { return Latin1ToUtf8(fields[f]); };
  const auto refuse = [&](Field f, const char* why) {
    r.error = std::string(kFieldNames[f]) + "「" + text(f) + "」" + why;
    return r;
  };
  DstvPart& p = r.part;
  p.order = text(kOrder);
  p.drawing = text(kDrawing);
  p.mark = text(kMark);
  p.grade = text(kGrade);
  p.profile = FoldBlanks(text(kProfile));
  p.profile_code = FoldBlanks(text(kProfileCode));
  if (p.profile.empty()) return refuse(kProfile, "がありません");
  double quantity = 0;
  if (!StrictNumber(fields[kQuantity], quantity)) return refuse(kQuantity, "は数ではありません");
  if (quantity < 1 || quantity != std::floor(quantity) || quantity > 99999)
    return refuse(kQuantity, "は 1～99999 の整数ではありません");
  p.quantity = static_cast<long long>(quantity);
  // Some writers put further numbers after the length, separated by a comma.
  const std::string_view length = Trim(fields[kLength].substr(0, fields[kLength].find(',')));
  if (!StrictNumber(length, p.length)) return refuse(kLength, "は数ではありません");
  if (p.length <= 0 || p.length > 99999) return refuse(kLength, "は 0～99999 mm の外です");
  double weight = 0;
  if (fields.size() > kWeight && StrictNumber(fields[kWeight], weight) && weight > 0)
    p.kg_per_m = weight;
  r.ok = true;
  return r;
}

}  // namespace zarvel::exchange
