#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "base/cp932.h"
#include "catalog/sections.h"
#include "cli/sections_command.h"

namespace zarvel::catalog {
namespace {

// Rounded to n significant figures, half away from zero, as the standards' tables round.
double Significant(double x, int n) {
  const double scale = std::pow(10.0, n - 1 - static_cast<int>(std::floor(std::log10(x))));
  return std::round(x * scale + 1e-9) / scale;
}

double Dim(const Section& s, const std::string& letter) {
  for (const Dimension& d : s.dimensions)
    if (d.letter == letter) return d.value;
  ADD_FAILURE() << s.name << " has no " << letter;
  return 0;
}

TEST(SectionTable, ReadsWholeWithUniqueNamesEachFoundByItself) {
  std::vector<std::string> errors;
  const std::vector<Section> table = ParseTable(
      "# comment\nkind,series,name,dimensions,area_cm2,kg_per_m,standard\n"
      "H,,H-1×1×1×1,H=1,1,1\n"
      "H,,H-2×2×2×2,H=x,1,1,JIS\n"
      "H,,H-3×3×3×3,H=3,1,-1,JIS\n",
      &errors);
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(errors.size(), 3u);

  errors.clear();
  std::ifstream in(ZARVEL5_SOURCE_DIR "/catalog/sections.csv", std::ios::binary);
  const std::string csv((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(ParseTable(csv, &errors).size(), Sections().size());
  EXPECT_TRUE(errors.empty()) << errors.front();
  EXPECT_GT(Sections().size(), 200u);
  std::set<std::string> names;
  for (const Section& s : Sections()) {
    EXPECT_TRUE(names.insert(s.name).second) << s.name << " twice";
    EXPECT_EQ(Recognise(s.name).section, &s) << s.name;
  }
}

// Every row agrees with its own dimensions by the standard's formula.
TEST(SectionTable, AreasAndWeightsFollowTheStandardsFormulas) {
  for (const Section& s : Sections()) {
    double area = 0;    // mm²
    double weight = 0;  // kg/m, 0: area × 0.785
    if (s.kind == "H") {
      const double h = Dim(s, "H"), b = Dim(s, "B"), t1 = Dim(s, "t1"), t2 = Dim(s, "t2");
      area = t1 * (h - 2 * t2) + 2 * b * t2 + 0.858 * std::pow(Dim(s, "r"), 2);
    } else if (s.kind == "I" || s.kind == "channel") {
      const double h = Dim(s, "H"), b = Dim(s, "B"), t1 = Dim(s, "t1"), t2 = Dim(s, "t2");
      const double r = std::pow(Dim(s, "r1"), 2) - std::pow(Dim(s, "r2"), 2);
      area = t1 * h + 2 * t2 * (b - t1) + (s.kind == "I" ? 0.615 : 0.349) * r;
    } else if (s.kind == "angle") {
      const double t = Dim(s, "t");
      area = t * (Dim(s, "A") + Dim(s, "B") - t) +
             0.2146 * (std::pow(Dim(s, "r1"), 2) - 2 * std::pow(Dim(s, "r2"), 2));
    } else if (s.kind == "deformed_bar" || s.kind == "round_bar") {
      area = M_PI / 4 * std::pow(Dim(s, "d"), 2);
    } else if (s.kind == "pipe") {
      const double d = Dim(s, "D"), t = Dim(s, "t");
      area = M_PI * t * (d - t);
      weight = 0.02466 * t * (d - t);
    } else if (s.kind == "square_pipe") {
      const double t = Dim(s, "t"), sides = Dim(s, "A") + Dim(s, "B") - 3.287 * t;
      area = 2 * t * sides;
      weight = 0.0157 * t * sides;
    } else if (s.kind == "flat_bar") {
      area = Dim(s, "t") * Dim(s, "b");
      weight = 0.00785 * area;
    } else {
      ADD_FAILURE() << "unknown kind " << s.kind;
      continue;
    }
    const double area_cm2 = Significant(area / 100, 4);
    EXPECT_DOUBLE_EQ(s.area_cm2, area_cm2) << s.name;
    EXPECT_DOUBLE_EQ(s.kg_per_m, Significant(weight > 0 ? weight : area_cm2 * 0.785, 3)) << s.name;
  }
}

TEST(SectionTable, DeformedBarsWeighAsTheStandardLists) {
  const std::map<std::string, std::string> jis = {
      {"D10", "0.560"}, {"D13", "0.995"}, {"D16", "1.56"}, {"D19", "2.25"},
      {"D22", "3.04"},  {"D25", "3.98"},  {"D29", "5.04"}, {"D32", "6.23"},
      {"D35", "7.51"},  {"D38", "8.95"},  {"D41", "10.5"}, {"D51", "15.9"}};
  for (const auto& [name, weight] : jis) {
    const Section* s = Recognise(name).section;
    ASSERT_NE(s, nullptr) << name;
    EXPECT_EQ(s->weight_text, weight) << name;
    EXPECT_EQ(s->standard.rfind("JIS G 3112", 0), 0u);
  }
}

TEST(SectionNames, FoundHoweverTypedWithTheirUsage) {
  const struct {
    const char* typed;
    const char* section;
    const char* usage;
  } cases[] = {
      {"H-200x100x5.5x8", "H-200×100×5.5×8", ""},
      {"H200×100×5.5×8", "H-200×100×5.5×8", ""},
      {"Ｈ－２００×１００×５．５×８", "H-200×100×5.5×8", ""},
      {"h 200 X 100 x 5.50 x 8", "H-200×100×5.5×8", ""},
      {"[-100x50x5x7.5", "[-100×50×5×7.5", ""},
      {"C-100x50x5x7.5", "[-100×50×5×7.5", ""},
      {"L65*65*6", "L-65×65×6", ""},
      {"L-90×75×9", "L-90×75×9", ""},
      {"d13", "D13", ""},
      {"SD295A D13 基礎", "D13", "SD295A 基礎"},
      {"H-200×100×5.5×8 小梁・間柱", "H-200×100×5.5×8", "小梁・間柱"},
      {"小梁　H-250×125×6×9", "H-250×125×6×9", "小梁"},
      {"柱 □-200×200×9", "□-200×200×9", "柱"},
      {"STKR400 □-100×3.2", "□-100×100×3.2", "STKR400"},
      {"STK400 φ48.6×2.3 手摺", "○-48.6×2.3", "STK400 手摺"},
      {"φ22", "φ22", ""},
      {"FB-50×9", "FB-9×50", ""},
  };
  for (const auto& c : cases) {
    const Recognised r = Recognise(c.typed);
    ASSERT_NE(r.section, nullptr) << c.typed;
    EXPECT_EQ(r.section->name, c.section) << c.typed;
    EXPECT_EQ(r.usage, c.usage) << c.typed;
  }
  // Exact only: foreign names, near sizes and words that merely contain a letter are no section.
  for (const char* typed : {"HEB400", "IPE 300", "W21X44", "H-200×100×5.5×9", "H-200×100",
                            "BH-400×200×8×13", "SD295", "D14", "大梁", "", "\xff\xfe"}) {
    EXPECT_EQ(Recognise(typed).section, nullptr) << typed;
  }
}

TEST(SectionNames, ExampleJobsMembersAreRecognised) {
  for (const char* file :
       {"examples/kitamachi_beams.zv5", "examples/full_grid.zv5",
        "examples/project/minami_beams.zv5", "examples/project/minami_columns.zv5",
        "examples/project/minami_girders.zv5", "examples/project/minami_studs.zv5"}) {
    std::ifstream in(std::string(ZARVEL5_SOURCE_DIR "/") + file, std::ios::binary);
    std::string line;
    while (std::getline(in, line) && line.rfind("edBname = ", 0) != 0) {
    }
    const std::string name = base::Cp932ToUtf8(line.substr(10));
    EXPECT_NE(Recognise(name).section, nullptr) << file << ": " << name;
  }
}

TEST(SectionSearch, BestFirst) {
  const auto names = [](std::string_view query) {
    std::vector<std::string> out;
    for (const Section* s : FindSections(query)) out.push_back(s->name);
    return out;
  };
  EXPECT_EQ(names("").size(), Sections().size());
  EXPECT_EQ(names("d1"), (std::vector<std::string>{"D10", "D13", "D16", "D19"}));
  const auto h = names("h-200x100x5.5x8");
  ASSERT_FALSE(h.empty());
  EXPECT_EQ(h.front(), "H-200×100×5.5×8");
  for (const std::string& n : names("Ｈ－２００")) EXPECT_EQ(n.rfind("H-200×", 0), 0u) << n;
  EXPECT_EQ(names("C-100").front(), "[-100×50×5×7.5");
  EXPECT_EQ(names("φ48.6").size(), 4u);  // the pipes of 48.6 mm
  for (const Section* s : FindSections("溝形鋼")) EXPECT_EQ(s->kind, "channel");
  EXPECT_TRUE(names("HEB400").empty());
}

}  // namespace
}  // namespace zarvel::catalog

namespace zarvel::cli {
namespace {

TEST(SectionsCommand, JsonUnderTheStandardsLettersAndExitCodes) {
  std::ostringstream out, err;
  EXPECT_EQ(RunSectionsCommand({"H-200x100x5.5x8", "--json"}, out, err), 0);
  const std::string json = out.str();
  EXPECT_EQ(json.find("{\"sections\": [\n  {\"name\": \"H-200×100×5.5×8\", \"kind\": \"H\""), 0u)
      << json;
  for (const char* key : {"\"kg_per_m\": 20.9,", "\"standard\": \"JIS G 3192:2014\"", "\"H\": 200,",
                          "\"B\": 100,", "\"t1\": 5.5,", "\"t2\": 8,", "\"r\": 8}"})
    EXPECT_NE(json.find(key), std::string::npos) << key;
  out.str("");
  EXPECT_EQ(RunSectionsCommand({"W21X44"}, out, err), 1);
  EXPECT_NE(err.str().find("W21X44"), std::string::npos);
  EXPECT_EQ(RunSectionsCommand({"a", "b"}, out, err), 2);
}

}  // namespace
}  // namespace zarvel::cli
