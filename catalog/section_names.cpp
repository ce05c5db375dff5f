// Reading section names as people type them: full-width or ASCII, "x", "*" or "×", with or
// without the hyphen, among usage words.
#include <algorithm>
#include <map>
#include <optional>

#include "catalog/sections.h"

namespace zarvel::catalog {

namespace {

constexpr char32_t kPhiChar = U'φ';
constexpr char32_t kCircleChar = U'○';
constexpr char32_t kTimes = U'x';  // every way of writing "by" folds to this

// A character of the name after folding, with the bytes it came from.
struct Folded {
  char32_t c;
  std::size_t begin;
  std::size_t end;
};

// Decodes one UTF-8 character at s[i]; a malformed byte reads as U+FFFD of length 1.
char32_t Decode(std::string_view s, std::size_t i, std::size_t& length) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char lead = b(0);
  int extra = 0;
  char32_t c = lead;
  if (lead >= 0xF0 && lead < 0xF8) {
    extra = 3;
    c = lead & 0x07;
  } else if (lead >= 0xE0) {
    extra = 2;
    c = lead & 0x0F;
  } else if (lead >= 0xC2 && lead < 0xE0) {
    extra = 1;
    c = lead & 0x1F;
  } else if (lead >= 0x80) {
    length = 1;
    return 0xFFFD;
  }
  if (i + extra >= s.size() && extra > 0) {
    length = 1;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    if ((b(k) & 0xC0) != 0x80) {
      length = 1;
      return 0xFFFD;
    }
    c = (c << 6) | (b(k) & 0x3F);
  }
  length = 1 + extra;
  return c;
}

char32_t Fold(char32_t c) {
  if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;  // full-width ASCII
  if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
  switch (c) {
    case 0x3000:
    case '\t':
      return ' ';
    case 'X':
    case '*':
    case 0x00D7:  // ×
    case 0x2715:  // ✕
    case 0x2716:
      return kTimes;
    case 0x2010:
    case 0x2011:
    case 0x2012:
    case 0x2013:
    case 0x2014:
    case 0x2015:
    case 0x2212:  // −
    case 0x2500:  // ─, as some input methods give for "-"
    case 0x30FC:  // ー
    case 0xFE63:
      return '-';
    case 0x03A6:  // Φ
    case 0x03D5:
    case 0x00D8:  // Ø
    case 0x00F8:
    case 0x2205:  // ∅
    case 0x2300:  // ⌀
      return kPhiChar;
    case 0x3007:  // 〇
    case 0x25EF:
      return kCircleChar;
    default:
      return c;
  }
}

std::vector<Folded> FoldName(std::string_view utf8) {
  std::vector<Folded> out;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t length = 1;
    const char32_t c = Decode(utf8, i, length);
    out.push_back({Fold(c), i, i + length});
    i += length;
  }
  return out;
}

// What a prefix names; the number of sizes decides between some of them.
enum class Family { kH, kI, kChannel, kAngle, kDeformed, kRound, kDiameter, kPipe, kSquare, kFlat };

struct Prefix {
  std::u32string text;
  Family family;
};

// Longest first, so "STKR" is not read as "STK" and a letter.
const std::vector<Prefix>& Prefixes() {
  static const std::vector<Prefix> prefixes = {
      {U"STKR", Family::kSquare}, {U"STK", Family::kPipe},   {U"FB", Family::kFlat},
      {U"RB", Family::kRound},    {U"H", Family::kH},        {U"I", Family::kI},
      {U"[", Family::kChannel},   {U"C", Family::kChannel},  {U"L", Family::kAngle},
      {U"D", Family::kDeformed},  {U"φ", Family::kDiameter}, {U"○", Family::kPipe},
      {U"P", Family::kPipe},      {U"□", Family::kSquare},
  };
  return prefixes;
}

bool IsAsciiAlnum(char32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == kTimes;
}
bool IsDigit(char32_t c) {
  return c >= '0' && c <= '9';
}

// A size in thousandths of a millimetre, read at name[i]; nothing when no digit is there.
std::optional<long long> ReadSize(const std::vector<Folded>& name, std::size_t& i) {
  long long value = 0;
  int digits = 0;
  while (i < name.size() && IsDigit(name[i].c)) {
    if (++digits > 9) return std::nullopt;  // no section is a kilometre wide
    value = value * 10 + (name[i++].c - '0');
  }
  if (digits == 0) return std::nullopt;
  value *= 1000;
  if (i + 1 < name.size() && name[i].c == '.' && IsDigit(name[i + 1].c)) {
    ++i;
    long long scale = 100;
    while (i < name.size() && IsDigit(name[i].c)) {
      // Digits past the thousandth make the size one the table cannot hold.
      value += scale > 0 ? scale * (name[i].c - '0') : (name[i].c != '0' ? 1 : 0);
      scale /= 10;
      ++i;
    }
  }
  return value;
}

void SkipBlanks(const std::vector<Folded>& name, std::size_t& i) {
  while (i < name.size() && name[i].c == ' ') ++i;
}

// A prefix and its sizes as written at name[start].
struct Written {
  Family family;
  std::vector<long long> sizes;
  std::size_t begin;  // byte offsets in the name
  std::size_t end;
};

std::optional<Written> ReadAt(const std::vector<Folded>& name, std::size_t start) {
  if (start > 0 && (IsAsciiAlnum(name[start - 1].c) || name[start - 1].c == '.'))
    return std::nullopt;  // inside a word: the "D" of "SD295", the "H" of "BH-400"
  for (const Prefix& p : Prefixes()) {
    if (start + p.text.size() > name.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < p.text.size() && same; ++k) same = name[start + k].c == p.text[k];
    if (!same) continue;
    std::size_t i = start + p.text.size();
    SkipBlanks(name, i);
    if (i < name.size() && name[i].c == '-') ++i;
    SkipBlanks(name, i);
    Written w{p.family, {}, name[start].begin, 0};
    for (;;) {
      std::size_t at = i;
      const auto size = ReadSize(name, at);
      if (!size) break;
      w.sizes.push_back(*size);
      w.end = name[at - 1].end;
      i = at;
      SkipBlanks(name, at);
      if (at >= name.size() || name[at].c != kTimes) break;
      ++at;
      SkipBlanks(name, at);
      i = at;
    }
    if (!w.sizes.empty()) return w;
  }
  return std::nullopt;
}

std::string Key(const char* kind, const std::vector<long long>& sizes) {
  std::string key = kind;
  for (const long long s : sizes) {
    key += ':';  // appended apart: GCC 12 at -O3 warns falsely about "literal" + string
    key += std::to_string(s);
  }
  return key;
}

// The table's keys a written name may stand for.
std::vector<std::string> Keys(const Written& w) {
  const auto& s = w.sizes;
  switch (w.family) {
    case Family::kH:
      return {Key("H", s)};
    case Family::kI:
      return {Key("I", s)};
    case Family::kChannel:
      return {Key("channel", s)};
    case Family::kAngle:
      return {Key("angle", s)};
    case Family::kDeformed:
      return {Key("deformed_bar", s)};
    case Family::kRound:
      return {Key("round_bar", s)};
    case Family::kDiameter:
      return {Key(s.size() == 1 ? "round_bar" : "pipe", s)};
    case Family::kPipe:
      return {Key("pipe", s)};
    case Family::kSquare:
      if (s.size() == 2) return {Key("square_pipe", {s[0], s[0], s[1]})};
      return {Key("square_pipe", s)};
    case Family::kFlat:  // thickness × width, also written the other way round
      if (s.size() == 2) return {Key("flat_bar", s), Key("flat_bar", {s[1], s[0]})};
      return {};
  }
  return {};
}

using Index = std::map<std::string, const Section*>;

Index BuildIndex(const std::vector<Section>& table) {
  Index index;
  for (const Section& section : table) {
    const std::vector<Folded> name = FoldName(section.name);
    if (name.empty()) continue;
    if (const auto w = ReadAt(name, 0)) {
      for (const std::string& key : Keys(*w)) index.emplace(key, &section);
    }
  }
  return index;
}

const Index& IndexOf(const std::vector<Section>& table, Index& scratch) {
  if (&table == &Sections()) {
    static const Index builtin = BuildIndex(Sections());
    return builtin;
  }
  scratch = BuildIndex(table);
  return scratch;
}

bool IsBlankByte(std::string_view s, std::size_t i, std::size_t& length) {
  if (s[i] == ' ' || s[i] == '\t') {
    length = 1;
    return true;
  }
  if (s.substr(i, 3) == "\xE3\x80\x80") {  // the ideographic space
    length = 3;
    return true;
  }
  return false;
}

std::string TrimBlanks(std::string_view s) {
  std::size_t length = 0;
  while (!s.empty() && IsBlankByte(s, 0, length)) s.remove_prefix(length);
  while (!s.empty()) {
    if (s.back() == ' ' || s.back() == '\t') {
      s.remove_suffix(1);
    } else if (s.size() >= 3 && s.substr(s.size() - 3) == "\xE3\x80\x80") {
      s.remove_suffix(3);
    } else {
      break;
    }
  }
  return std::string(s);
}

// The name as the search compares it: folded, without blanks and hyphens, prefixes as the table
// writes them.
std::u32string SearchForm(std::string_view utf8) {
  std::u32string form;
  for (const Folded& f : FoldName(utf8)) {
    if (f.c != ' ' && f.c != '-') form += f.c;
  }
  static const std::vector<std::pair<std::u32string, std::u32string>> aliases = {
      {U"STKR", U"□"}, {U"STK", U"○"}, {U"RB", U"φ"}, {U"C", U"["}, {U"P", U"○"}};
  for (const auto& [alias, prefix] : aliases) {
    if (form.compare(0, alias.size(), alias) == 0) return prefix + form.substr(alias.size());
  }
  return form;
}

}  // namespace

Recognised Recognise(std::string_view name_utf8, const std::vector<Section>& table) {
  Index scratch;
  const Index& index = IndexOf(table, scratch);
  const std::vector<Folded> name = FoldName(name_utf8);
  for (std::size_t start = 0; start < name.size(); ++start) {
    const auto w = ReadAt(name, start);
    if (!w) continue;
    for (const std::string& key : Keys(*w)) {
      const auto it = index.find(key);
      if (it == index.end()) continue;
      const std::string before = TrimBlanks(name_utf8.substr(0, w->begin));
      const std::string after = TrimBlanks(name_utf8.substr(w->end));
      Recognised r;
      r.section = it->second;
      r.usage = before.empty() || after.empty() ? before + after : before + " " + after;
      return r;
    }
  }
  return {nullptr, TrimBlanks(name_utf8)};
}

std::vector<const Section*> FindSections(std::string_view query_utf8,
                                         const std::vector<Section>& table) {
  std::vector<std::pair<int, const Section*>> scored;
  const std::string query = TrimBlanks(query_utf8);
  const Section* named = query.empty() ? nullptr : Recognise(query, table).section;
  std::u32string form = SearchForm(query);
  std::u32string pipe_form;  // "φ48.6" may mean a pipe as well as a round bar
  if (!form.empty() && form[0] == kPhiChar) pipe_form = kCircleChar + form.substr(1);
  for (const Section& s : table) {
    int score = -1;
    const std::u32string name = SearchForm(s.name);
    const auto starts = [&](const std::u32string& f) {
      return !f.empty() && name.compare(0, f.size(), f) == 0;
    };
    const auto contains = [&](const std::u32string& f) {
      return !f.empty() && name.find(f) != std::u32string::npos;
    };
    if (query.empty() || &s == named) {
      score = 0;
    } else if (starts(form) || starts(pipe_form)) {
      score = 1;
    } else if (contains(form) || contains(pipe_form)) {
      score = 2;
    } else if (KindName(s).find(query) != std::string::npos || s.series == query) {
      score = 3;
    }
    if (score >= 0) scored.emplace_back(score, &s);
  }
  std::stable_sort(scored.begin(), scored.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<const Section*> found;
  for (const auto& [score, section] : scored) found.push_back(section);
  return found;
}

}  // namespace zarvel::catalog
