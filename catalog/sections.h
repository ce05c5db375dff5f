// The standard steel sections a Japanese shop cuts (JIS H, I, channels, angles, bars, tubes and
// flats), with their dimensions and unit weights, and one answer to "which section is this?".
//
// The table comes from catalog/sections.csv, built into the program. Texts here are UTF-8;
// callers holding CP932 (the job's fields) convert at the call.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zarvel::catalog {

struct Dimension {
  std::string letter;  // the standard's letter: "H", "B", "t1", "t2", "r", "d", "D", "t", ...
  double value = 0;    // mm
};

struct Section {
  std::string kind;    // "H", "I", "channel", "angle", "deformed_bar", "round_bar", "pipe", ...
  std::string series;  // 細幅/中幅/広幅, 等辺/不等辺, 正方形/長方形, or empty
  std::string name;    // canonical: the standard's prefix and "×" ("H-200×100×5.5×8")
  std::vector<Dimension> dimensions;
  double area_cm2 = 0;
  double kg_per_m = 0;
  std::string weight_text;  // the unit weight as the table writes it ("20.9", "0.560")
  std::string standard;     // with its edition: "JIS G 3192:2014"
};

// The built-in table in file order.
const std::vector<Section>& Sections();

// Reads a table in the CSV layout of sections.csv. Rows that cannot be read are skipped and
// named in `errors` ("line N: ..."), so a test can insist there are none.
std::vector<Section> ParseTable(std::string_view csv, std::vector<std::string>* errors);

// The kind in Japanese words: "H形鋼", "溝形鋼", "等辺山形鋼", ...
std::string KindName(const Section& section);

// A member name read as a section and the words around it.
struct Recognised {
  const Section* section = nullptr;  // null: no section of the table is named
  std::string usage;  // the rest of the name ("小梁・間柱"), blanks folded; the whole name if none
};

// Finds the section a name contains, however it is typed: "H-200x100x5.5x8",
// "H200×100×5.5×8", full-width "Ｈ－２００×１００×５．５×８", "C-100x50x5x7.5" (a channel),
// "L65*65*6", "d13", before or after usage words. Exact only: a size the table does not hold
// is not mapped to a near one.
Recognised Recognise(std::string_view name_utf8, const std::vector<Section>& table = Sections());

// Sections whose name matches the query, best first: the section the query names, then names
// that begin with it, then names that contain it, then sections of a kind the query names
// (溝形鋼, 鋼管, ...). An empty query lists the whole table.
std::vector<const Section*> FindSections(std::string_view query_utf8,
                                         const std::vector<Section>& table = Sections());

}  // namespace zarvel::catalog
