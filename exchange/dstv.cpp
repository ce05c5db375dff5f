#include "exchange/dstv.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "base/outside_text.h"

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

std::string_view Trim(std::string_view s) {
  return base::TrimAllBlanks(s, base::Encoding::kUtf8);
}

// A decimal number and nothing else: digits with at most one decimal point or comma ("42,3",
// as European writers put it), an optional sign.
bool StrictNumber(std::string_view s, double& value) {
  if (s.empty() || s.size() > 40) return false;
  std::string text(s);
  std::size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
  int digits = 0, points = 0;
  for (std::size_t k = i; k < text.size(); ++k) {
    if (text[k] >= '0' && text[k] <= '9') {
      ++digits;
    } else if ((text[k] == '.' || text[k] == ',') && points == 0) {
      ++points;
      text[k] = '.';
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  value = std::strtod(text.c_str(), nullptr);
  return std::isfinite(value);
}

// The length field: a decimal comma ("6236,88") is a decimal; otherwise a comma ends the length
// and a saw length or such follows it ("3500.40,3505.00", "3500,3505").
std::string_view LengthText(std::string_view field) {
  const std::size_t comma = field.find(',');
  if (comma == std::string_view::npos) return field;
  const std::string_view after = field.substr(comma + 1);
  const bool decimal = field.find('.') == std::string_view::npos && !after.empty() &&
                       after.size() <= 3 &&
                       after.find_first_not_of("0123456789") == std::string_view::npos;
  return decimal ? field : Trim(field.substr(0, comma));
}

}  // namespace

bool LooksLikeDstv(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  for (std::size_t at = 0; at < bytes.size() && at < 64 * 1024;) {
    std::size_t end = bytes.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = Trim(bytes.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line.substr(0, 2) == "**") continue;
    return line == "ST";
  }
  return false;
}

DstvRead ReadDstv(std::string_view bytes) {
  DstvRead r;
  if (bytes.find('\0') != std::string_view::npos && bytes.find('\0') + 1 < bytes.size()) {
    r.error = "文字のファイルではありません";
    return r;
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);  // a byte-order mark
  // The lines are found in the bytes as they are (a line end is never part of a two-byte
  // character); the header alone is decoded.
  std::vector<std::string_view> raw;
  bool in_header = false;
  std::size_t at = 0;
  while (at < bytes.size() && raw.size() < kFieldsRead) {
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
    raw.push_back(line);
  }
  // UTF-8 when the header is, else Shift_JIS (Japanese marks and sections), else Latin-1.
  std::string joined;
  for (const std::string_view line : raw) (joined += line) += '\n';
  const std::string decoded = base::DecodeToUtf8(joined);
  std::vector<std::string_view> fields;
  for (std::size_t from = 0; fields.size() < raw.size();) {
    const std::size_t end = decoded.find('\n', from);
    fields.push_back(Trim(std::string_view(decoded).substr(from, end - from)));
    from = end + 1;
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
  const auto text = [&](Field f) { return std::string(fields[f]); };
  const auto refuse = [&](Field f, const char* why) {
    r.error = std::string(kFieldNames[f]) + "「" + text(f) + "」" + why;
    return r;
  };
  DstvPart& p = r.part;
  p.order = text(kOrder);
  p.drawing = text(kDrawing);
  p.mark = text(kMark);
  p.grade = text(kGrade);
  p.profile = base::FoldAllBlanks(text(kProfile), base::Encoding::kUtf8);
  p.profile_code = base::FoldAllBlanks(text(kProfileCode), base::Encoding::kUtf8);
  if (p.profile.empty()) return refuse(kProfile, "がありません");
  double quantity = 0;
  if (!StrictNumber(fields[kQuantity], quantity)) return refuse(kQuantity, "は数ではありません");
  if (quantity < 1 || quantity != std::floor(quantity) || quantity > 99999)
    return refuse(kQuantity, "は 1～99999 の整数ではありません");
  p.quantity = static_cast<long long>(quantity);
  if (!StrictNumber(LengthText(fields[kLength]), p.length))
    return refuse(kLength, "は数ではありません");
  if (p.length <= 0) return refuse(kLength, "は 0 mm より長くなければなりません");
  if (p.length > 99999) return refuse(kLength, "は 99999 mm を超えます");
  double weight = 0, height = 0;
  if (fields.size() > kWeight && StrictNumber(fields[kWeight], weight) && weight > 0) {
    if (p.profile_code != "B") {
      p.kg_per_m = weight;
    } else if (StrictNumber(fields[kHeight], height) && height > 0) {
      p.kg_per_m = weight * height / 1000;  // a plate's weight is per square metre
    }
  }
  r.ok = true;
  return r;
}

}  // namespace zarvel::exchange
