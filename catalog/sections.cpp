#include "catalog/sections.h"

#include <cstdlib>
#include <map>

#include "base/lines.h"

namespace zarvel::catalog {

extern const std::string_view kSectionsCsv;

namespace {

std::vector<std::string> SplitComma(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma - start));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

// A positive decimal number written in full, nothing else.
bool ReadPositive(const std::string& text, double& value) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && value > 0;
}

bool ReadDimensions(const std::string& text, std::vector<Dimension>& dimensions) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    const std::size_t equals = item.find('=');
    Dimension d;
    if (equals == 0 || equals == std::string::npos) return false;
    d.letter = item.substr(0, equals);
    if (!ReadPositive(item.substr(equals + 1), d.value)) return false;
    dimensions.push_back(d);
    start = end + 1;
  }
  return !dimensions.empty();
}

}  // namespace

std::vector<Section> ParseTable(std::string_view csv, std::vector<std::string>* errors) {
  std::vector<Section> table;
  const auto fail = [&](std::size_t line, const char* why) {
    if (errors) errors->push_back("line " + std::to_string(line) + ": " + why);
  };
  const std::vector<std::string> lines = base::SplitLines(std::string(csv));
  bool header = true;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty() || line[0] == '#') continue;
    if (header) {  // the column names
      header = false;
      continue;
    }
    const std::vector<std::string> f = SplitComma(line);
    Section s;
    if (f.size() != 7) {
      fail(i + 1, "not 7 fields");
      continue;
    }
    s.kind = f[0];
    s.series = f[1];
    s.name = f[2];
    s.weight_text = f[5];
    s.standard = f[6];
    if (s.kind.empty() || s.name.empty() || s.standard.empty()) {
      fail(i + 1, "kind, name or standard missing");
    } else if (!ReadDimensions(f[3], s.dimensions)) {
      fail(i + 1, "dimensions unreadable");
    } else if (!ReadPositive(f[4], s.area_cm2) || !ReadPositive(f[5], s.kg_per_m)) {
      fail(i + 1, "area or weight unreadable");
    } else {
      table.push_back(std::move(s));
    }
  }
  return table;
}

const std::vector<Section>& Sections() {
  static const std::vector<Section> table = ParseTable(kSectionsCsv, nullptr);
  return table;
}

std::string KindName(const Section& section) {
  static const std::map<std::string, std::string> names = {
      {"H", "H形鋼"},
      {"I", "I形鋼"},
      {"channel", "溝形鋼"},
      {"deformed_bar", "異形棒鋼"},
      {"round_bar", "丸鋼"},
      {"pipe", "鋼管"},
      {"square_pipe", "角形鋼管"},
      {"flat_bar", "平鋼"},
  };
  if (section.kind == "angle") return section.series + "山形鋼";
  const auto it = names.find(section.kind);
  return it == names.end() ? section.kind : it->second;
}

}  // namespace zarvel::catalog
