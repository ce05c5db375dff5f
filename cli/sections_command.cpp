#include "cli/sections_command.h"

#include "base/format.h"

namespace zarvel::cli {

namespace {

const char* const kSectionsUsage =
    "使い方: zarvel5 sections [QUERY] [--json]\n"
    "  QUERY に合う規格鋼材（H形鋼、溝形鋼、山形鋼、異形棒鋼、鋼管、角形鋼管、平鋼など）を\n"
    "  一致の良い順に表示します。QUERY を省くと全部を表示します。\n";

// Dimensions print as the table writes them: 5.5, 8, 48.6.
std::string Number(double value) {
  return base::Format("%g", value);
}

// The text padded with blanks to `columns` terminal columns: a kana or kanji takes two.
std::string Pad(const std::string& utf8, std::size_t columns) {
  std::size_t width = 0;
  for (const char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80 || b >= 0xC0) width += b >= 0xE0 ? 2 : 1;  // a character's first byte
  }
  return utf8 + std::string(width < columns ? columns - width : 1, ' ');
}

}  // namespace

std::string SectionsText(const std::vector<const catalog::Section*>& sections) {
  std::string t;
  for (const catalog::Section* s : sections) {
    std::string kind = catalog::KindName(*s);
    if (s->kind != "angle" && !s->series.empty()) kind += " " + s->series;
    std::string dims;
    for (const catalog::Dimension& d : s->dimensions)
      dims += (dims.empty() ? "" : " ") + d.letter + "=" + Number(d.value);
    t += Pad(s->name, 18) + Pad(kind, 18) +
         base::Format("%7s kg/m  %s  (%s)\n", s->weight_text.c_str(), s->standard.c_str(),
                      dims.c_str());
  }
  return t;
}

std::string SectionsJson(const std::vector<const catalog::Section*>& sections) {
  std::string j = "{\"sections\": [";
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const catalog::Section& s = *sections[i];
    j += i ? ",\n  " : "\n  ";
    j += "{\"name\": " + base::JsonString(s.name) + ", \"kind\": " + base::JsonString(s.kind);
    if (!s.series.empty()) j += ", \"series\": " + base::JsonString(s.series);
    j += ", \"kg_per_m\": " + s.weight_text + ", \"area_cm2\": " + Number(s.area_cm2);
    j += ", \"standard\": " + base::JsonString(s.standard);
    for (const catalog::Dimension& d : s.dimensions)
      j += ", " + base::JsonString(d.letter) + ": " + Number(d.value);
    j += "}";
  }
  return j + (sections.empty() ? "]}\n" : "\n]}\n");
}

int RunSectionsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool json = false;
  std::string query;
  bool has_query = false;
  for (const std::string& a : args) {
    if (a == "--json") {
      json = true;
    } else if (a == "--help" || a == "-h") {
      out << kSectionsUsage;
      return 0;
    } else if ((a.empty() || a[0] != '-') && !has_query) {
      query = a;
      has_query = true;
    } else {
      err << "zarvel5: sections に渡せない引数です: " << a << "\n" << kSectionsUsage;
      return 2;
    }
  }
  const std::vector<const catalog::Section*> found = catalog::FindSections(query);
  out << (json ? SectionsJson(found) : SectionsText(found));
  if (found.empty()) {
    err << "zarvel5: 「" << query << "」に当たる規格鋼材はありません\n";
    return 1;
  }
  return 0;
}

}  // namespace zarvel::cli
