#include "job/cut_csv.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/cp932.h"
#include "cli/plan_command.h"
#include "exchange/part_list.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "tests/temp_dir.h"

namespace zarvel::job {
namespace {

using Pieces = std::vector<std::pair<int, int>>;

Pieces Of(const CutCsv& csv) {
  Pieces p;
  for (const CutPiece& c : csv.pieces) p.emplace_back(c.length, c.count);
  return p;
}

std::string Cp(const char* utf8) {
  return base::Utf8ToCp932(utf8);
}

TEST(CutCsv, SeparatorsHeadingsAndBlankLines) {
  // Comma, TAB and semicolon lines in one file; a heading, blank lines and a title with digits
  // are skipped; a length alone is one piece; further fields are ignored.
  const CutCsv csv = ReadCutCsv(Cp("部材符号 B1～B4 の切断リスト\r\n長さ,本数\r\n\r\n2700,4\n"
                                   "1500\t7\r  \r\n800;9;梁\n3350\n,,\n"),
                                102);
  ASSERT_TRUE(csv.ok) << base::Cp932ToUtf8(csv.error);
  EXPECT_EQ(Of(csv), (Pieces{{2700, 4}, {1500, 7}, {800, 9}, {3350, 1}}));
}

TEST(CutCsv, NumbersAsSpreadsheetsWriteThem) {
  // Quoted thousands, full-width digits and blanks, a decimal part of zeros; equal lengths
  // are added together.
  const CutCsv csv =
      ReadCutCsv(Cp("\"5,450\",12\r\n　４３８０　,１０\r\n2950.0,\"3\"\r\n5450,2\r\n"), 102);
  ASSERT_TRUE(csv.ok) << base::Cp932ToUtf8(csv.error);
  EXPECT_EQ(Of(csv), (Pieces{{5450, 14}, {4380, 10}, {2950, 3}}));
}

TEST(CutCsv, EncodingsAreRecognised) {
  const Pieces expected{{2700, 4}, {1500, 7}};
  const std::string utf8 = "長さ,本数\r\n2700,4\r\n1500,7\r\n";
  std::string utf16le = "\xFF\xFE";
  std::string utf16be = "\xFE\xFF";
  const std::u16string u16 = u"長さ\t本数\r\n2700\t4\r\n1500\t7\r\n";
  for (char16_t c : u16) {
    utf16le += static_cast<char>(c & 0xFF);
    utf16le += static_cast<char>(c >> 8);
    utf16be += static_cast<char>(c >> 8);
    utf16be += static_cast<char>(c & 0xFF);
  }
  for (const std::string& bytes :
       {Cp(utf8.c_str()), utf8, "\xEF\xBB\xBF" + utf8, utf16le, utf16be}) {
    const CutCsv csv = ReadCutCsv(bytes, 102);
    EXPECT_TRUE(csv.ok) << base::Cp932ToUtf8(csv.error);
    EXPECT_EQ(Of(csv), expected);
  }
  // A heading that only UTF-8 could hold still reads; a bad line quotes it in CP932.
  const CutCsv bad = ReadCutCsv("長さ,本数\r\n27O0,4\r\n", 102);
  ASSERT_FALSE(bad.ok);
  EXPECT_EQ(base::Cp932ToUtf8(bad.error), "2 行目：長さが読めません「27O0」");
}

TEST(CutCsv, EachKindOfBadLineIsNamed) {
  struct Case {
    const char* file;
    const char* message;
  };
  const Case cases[] = {
      {"長さ,本数\n2700,4\n12a0,3\n", "3 行目：長さが読めません「12a0」"},
      {"長さ,本数\n2700,4\n\nA1800,1\n", "4 行目：長さが読めません「A1800」"},
      {"2700,4\n-300,2\n", "2 行目：長さが読めません「-300」"},
      {"2700,4\n1500.5.1,2\n", "2 行目：長さが読めません「1500.5.1」"},
      {"長さ,本数\n2700,\n", "2 行目：本数がありません「2700,」"},
      {"長さ,本数\n2700,4\n\"1800\",\"\"\n", "3 行目：本数がありません「\"1800\",\"\"」"},
      {"0,5\n", "1 行目：長さは 2～99999 (mm) にして下さい「0」"},
      {"2700,4\n100000,1\n", "2 行目：長さは 2～99999 (mm) にして下さい「100000」"},
      {"2700,four\n", "1 行目：本数が読めません「four」"},
      {"2700,4\n1500,2.5\n", "2 行目：本数が読めません「2.5」"},
      {"2700,0\n", "1 行目：本数は 1～99999 にして下さい「0」"},
      {"2700,99999\n2700,1\n", "2 行目：同じ長さの本数の合計が 99999 を超えます「1」"},
      {"", "長さと本数の行がありません"},
      {"長さ,本数\r\n\r\n  \r\n", "長さと本数の行がありません"},
  };
  for (const Case& c : cases) {
    const CutCsv csv = ReadCutCsv(Cp(c.file), 102);
    EXPECT_FALSE(csv.ok) << c.file;
    EXPECT_TRUE(csv.pieces.empty());
    EXPECT_EQ(base::Cp932ToUtf8(csv.error), c.message) << c.file;
  }
}

TEST(CutCsv, HeadingsDecideTheColumns) {
  struct Case {
    const char* file;
    Pieces pieces;
    int titles, totals;
  };
  const Case cases[] = {
      {"符号,長さ,本数\n101,3500,4\nB2,2700,2\n", {{3500, 4}, {2700, 2}}, 0, 0},
      {"本数,長さ\n4,3500\n", {{3500, 4}}, 0, 0},
      {"Mark\tLength [mm]\tQty\n12\t3500\t4\n", {{3500, 4}}, 0, 0},
      {"符号,長さ(mm),備考\n7,3500,9\n", {{3500, 1}}, 0, 0},  // no count column: one each
      {"工事 A\n作成 2026/12/07\n長さ,本数\n3500,4\n2700,2\n合　計,,6\n",
       {{3500, 4}, {2700, 2}},
       2,
       1},
      {"符号,長さ,本数,備考\nB1,3500,4,計\n合計,3500,4\n", {{3500, 4}}, 0, 1},  // a remark, a total
      {"3500,4,本\n", {{3500, 4}}, 0, 0},  // a unit, not a heading
      {"\"１，２５０\",４\n１５００．０，２\n", {{1250, 4}, {1500, 2}}, 0, 0},
  };
  for (const Case& c : cases) {
    const CutCsv csv = ReadCutCsv(Cp(c.file), 102);
    ASSERT_TRUE(csv.ok) << c.file << " " << base::Cp932ToUtf8(csv.error);
    EXPECT_EQ(Of(csv), c.pieces) << c.file;
    EXPECT_EQ(csv.titles_skipped * 10 + csv.totals_skipped, c.titles * 10 + c.totals) << c.file;
  }
}

TEST(CutCsv, NumbersThatCouldBeReadTwoWaysAreRefused) {
  const std::string comma = "行目：コンマが数の区切りか桁区切りか分かりません";
  const std::string third =
      "1 行目：長さと本数のほかにも数があります。見出し (長さ,本数) で列を示して下さい";
  const std::pair<const char*, std::string> cases[] = {
      {"3,500,4\n", "1 " + comma + "「3,500,4」"},
      {"長さ,本数\n3,500,4\n", "2 " + comma + "「3,500,4」"},
      {"3,50\n", "1 " + comma + "「3,50」"},
      {"１，２５０\n", "1 " + comma + "「１，２５０」"},
      {"\"3,5,0\",2\n", "1 行目：長さが読めません「3,5,0」"},
      {"101,3500,4\n", third + "「101,3500,4」"},
      {"2700,,4\n", third + "「2700,,4」"},
      {"長さ,本数\n2700,4,5\n", "2 行目：見出しのない列に数があります「2700,4,5」"},
      {"本数,符号\n", "1 行目：見出しに長さの列が見つかりません「本数」"},
  };
  for (const auto& [file, message] : cases)
    EXPECT_EQ(base::Cp932ToUtf8(ReadCutCsv(Cp(file), 102).error), message) << file;
  std::string le;  // UTF-16 without a byte-order mark is named
  for (char c : std::string("2700,4\r\n")) le += {c, '\0'};
  EXPECT_EQ(
      base::Cp932ToUtf8(ReadCutCsv(le, 102).error).rfind("UTF-16 (BOM なし) のファイルです。", 0),
      0u);
}

TEST(CutCsv, ColumnsAreReadByTheirMeaning) {
  // 部材 is the member's word, 規格/材質 the grade, 形状 nothing: only 断面 names the section.
  struct Case {
    const char* file;
    const char *mark, *section, *grade, *usage;
    int32_t length, count;
    int rounded, totals;
  };
  const Case cases[] = {
      {"符号,部材,断面,長さ(mm),数量,材質\nG1,大梁,H-400x200x8x13,6000,2,SN490B\n", "G1",
       "H-400x200x8x13", "SN490B", "大梁", 6000, 2, 0, 0},
      {"形状,規格,部材断面,長さ,本数\nH形鋼,SS400,H-200x100x5.5x8,3500,1\n", "", "H-200x100x5.5x8",
       "SS400", "", 3500, 1, 0, 0},
      {"No.,長さ,本数\n12,3500,4\n総合計,,4\n", "12", "", "", "", 3500, 4, 0, 1},
      {"No.,符号,長さ,本数\n1,B7,3500,4\n", "B7", "", "", "", 3500, 4, 0, 0},
      {"長さ,本数\n4125.5,3\n", "", "", "", "", 4126, 3, 3, 0},
      {"長さ;本数\n6236,88;2\n", "", "", "", "", 6237, 2, 2, 0},
      {"名称\t長さ\t本数\n小梁\t\"1,250.0\"\t2\n", "", "", "", "小梁", 1250, 2, 0, 0},
  };
  for (const Case& c : cases) {
    const CutCsv csv = ReadCutCsv(Cp(c.file), 102);
    ASSERT_TRUE(csv.ok) << c.file << base::Cp932ToUtf8(csv.error);
    ASSERT_EQ(csv.parts.size(), 1u) << c.file;
    const CsvPart& p = csv.parts[0];
    EXPECT_EQ(base::Cp932ToUtf8(p.mark), c.mark) << c.file;
    EXPECT_EQ(base::Cp932ToUtf8(p.section), c.section) << c.file;
    EXPECT_EQ(base::Cp932ToUtf8(p.grade), c.grade) << c.file;
    EXPECT_EQ(base::Cp932ToUtf8(p.usage), c.usage) << c.file;
    EXPECT_EQ(p.length * 100000 + p.count, c.length * 100000 + c.count) << c.file;
    EXPECT_EQ(csv.rounded, c.rounded) << c.file;
    EXPECT_EQ(csv.totals_skipped, c.totals) << c.file;
  }
  // A column chosen beyond the line is refused, never read as one piece.
  ColumnChoice choice;
  std::string error;
  ASSERT_TRUE(exchange::ParseColumnChoice("length=4,count=9", choice, error));
  const CutCsv csv = ReadCutCsv(Cp("B1,H-200x100x5.5x8,SS400,3500,2,x\n"), 102, &choice);
  EXPECT_EQ(base::Cp932ToUtf8(csv.error),
            "1 行目：9 列目がありません「B1,H-200x100x5.5x8,SS400,3500,2,x」");
}

TEST(CutCsv, MoreLengthsThanTheGridHolds) {
  std::string file = "長さ,本数\n";
  for (int i = 0; i < 102; ++i) file += std::to_string(1000 + i) + ",1\n";
  file += "1000,5\n";  // a length already there adds to it and still fits
  EXPECT_TRUE(ReadCutCsv(Cp(file.c_str()), 102).ok);
  file += "3000,1\n";  // line 105: the 103rd length
  const CutCsv csv = ReadCutCsv(Cp(file.c_str()), 102);
  ASSERT_FALSE(csv.ok);
  EXPECT_EQ(base::Cp932ToUtf8(csv.error), "105 行目：切断リストに入る 102 種類の長さを超えます");
}

class CutCsvFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(temp.File(name), std::ios::binary) << bytes;
    return temp.File(name);
  }
  testing::TempDir temp{"zarvel5-cutcsv"};
  std::unique_ptr<optimiser::OptimiserRecords> records =
      std::make_unique<optimiser::OptimiserRecords>();
  JobForm form{*records};
};

TEST_F(CutCsvFileTest, ReplacesTheCutListOrLeavesItAlone) {
  run::Grid& grid = form.CutGrid();
  EXPECT_EQ(GridCapacity(grid), 102);
  grid.SetCell(1, 1, "  999.  9");
  grid.SetCell(6, 17, "  888.  8");
  std::string message;
  ASSERT_TRUE(LoadCutCsvFile(Write("cut.csv", Cp("長さ,本数\n2700,4\n1500,7\n")), grid, message));
  EXPECT_EQ(grid.Cell(1, 1), " 2700.  4");
  EXPECT_EQ(grid.Cell(2, 1), " 1500.  7");
  EXPECT_EQ(grid.Cell(6, 17), "");                      // the old list is gone
  EXPECT_EQ(grid.Cell(1, 0), base::Lit("長さ. 本数"));  // the headings stay
  EXPECT_EQ(message, "");
  // Skipped lines are told.
  ASSERT_TRUE(LoadCutCsvFile(Write("t.csv", Cp("工事 A\n長さ,本数\n2700,4\n1500,7\n計,11\n")), grid,
                             message));
  EXPECT_EQ(base::Cp932ToUtf8(message),
            "t.csv を切断リストに読み込みました。\n$表題 1 行と合計の行 1 行を読み飛ばしました。");

  for (const std::string& bad : {Cp("2700,4\n12a0,3\n"), std::string()}) {
    EXPECT_FALSE(LoadCutCsvFile(Write("bad.csv", bad), grid, message));
    EXPECT_EQ(grid.Cell(1, 1), " 2700.  4");
    EXPECT_EQ(grid.Cell(2, 1), " 1500.  7");
    EXPECT_EQ(message.rfind(base::Lit("[#×]bad.csv"), 0), 0u) << base::Cp932ToUtf8(message);
    EXPECT_NE(message.find(base::Lit("切断リストは変更していません。")), std::string::npos);
  }
  EXPECT_FALSE(LoadCutCsvFile(temp.File("missing.csv"), grid, message));
  EXPECT_NE(base::Cp932ToUtf8(message).find("は読み込めません"), std::string::npos);
  // Beyond the size limit: refused before it is read as a cut list.
  EXPECT_FALSE(
      LoadCutCsvFile(Write("huge.csv", std::string(kMaxCutCsvSize + 1, '\n')), grid, message));
  EXPECT_NE(base::Cp932ToUtf8(message).find("大きすぎます"), std::string::npos);
  EXPECT_EQ(grid.Cell(1, 1), " 2700.  4");
}

TEST_F(CutCsvFileTest, MarksComeAlongAndOneListHoldsOneSection) {
  run::Grid& grid = form.CutGrid();
  std::vector<optimiser::PieceMark> marks{{"OLD", 1, 1}};
  std::string message;
  ASSERT_TRUE(LoadCutCsvFile(Write("m.csv", Cp("マーク,長さ,本数\nG1,2700,4\nG2,2700,1\n,900,2\n")),
                             grid, message, &marks));
  EXPECT_EQ(grid.Cell(1, 1), " 2700.  5");
  EXPECT_EQ(marks, (std::vector<optimiser::PieceMark>{{"G1", 2700, 4}, {"G2", 2700, 1}}));
  // Two sections: refused, naming both; nothing changes.
  EXPECT_FALSE(LoadCutCsvFile(
      Write("s.csv", Cp("断面,長さ,本数\nH-200x100x5.5x8,2700,4\nL-65x65x6,900,2\n")), grid,
      message, &marks));
  EXPECT_NE(base::Cp932ToUtf8(message).find("H-200x100x5.5x8、L-65x65x6"), std::string::npos)
      << base::Cp932ToUtf8(message);
  EXPECT_EQ(marks.size(), 2u);

  // Columns chosen by the user read a list without headings, marks and all.
  ColumnChoice choice;
  std::string error;
  ASSERT_TRUE(exchange::ParseColumnChoice("mark=1,section=2,length=4,count=5", choice, error));
  const CutCsv csv = ReadCutCsv(Cp("B1,H-200x100x5.5x8,SS400,3500,2\n"), 102, &choice);
  ASSERT_TRUE(csv.ok) << base::Cp932ToUtf8(csv.error);
  ASSERT_EQ(csv.parts.size(), 1u);
  EXPECT_EQ(csv.parts[0].mark, "B1");
  EXPECT_EQ(csv.parts[0].section, "H-200x100x5.5x8");
  EXPECT_EQ(csv.parts[0].length, 3500);
  EXPECT_EQ(csv.parts[0].count, 2);
  for (const char* bad : {"mark=1", "length=0", "length=x", "width=2,length=1", ""})
    EXPECT_FALSE(exchange::ParseColumnChoice(bad, choice, error)) << bad;
  // The Japanese names read the same; the columns are shown with them.
  ColumnChoice japanese;
  ASSERT_TRUE(exchange::ParseColumnChoice(Cp("符号=1,断面=2,長さ=4,本数=5"), japanese, error))
      << base::Cp932ToUtf8(error);
  ASSERT_TRUE(exchange::ParseColumnChoice("mark=1,section=2,length=4,count=5", choice, error));
  for (const ColumnChoice& c : {japanese, choice})
    EXPECT_EQ(base::Cp932ToUtf8(exchange::ColumnChoiceText(c)), "符号=1,断面=2,長さ=4,本数=5");
  EXPECT_FALSE(exchange::ParseColumnChoice(Cp("符号=1"), choice, error));
  EXPECT_EQ(base::Cp932ToUtf8(error), "列の指定に 長さ がありません");
}

TEST_F(CutCsvFileTest, PlanCommandMakesAJobFromACsv) {
  // The example cut list into an empty job, planned and saved in one command.
  const std::string job = temp.File("base.zv5");
  form.StockGrid().SetCell(1, 1, " 6000. 30");
  form.StockGrid().SetCell(1, 2, "12000. 20");
  ASSERT_TRUE(WriteJobFile(form, job));
  const std::string saved = temp.File("made.zv5");
  std::ostringstream out, err;
  ASSERT_EQ(
      cli::RunPlanCommand({job, "--cut-csv", ZARVEL5_SOURCE_DIR "/examples/minami_beams_cut.csv",
                           "--save-job", saved},
                          out, err),
      cli::kExitPlanned)
      << err.str();
  auto other_records = std::make_unique<optimiser::OptimiserRecords>();
  JobForm other(*other_records);
  ASSERT_TRUE(OpenJobFile(other, saved));
  // Sorted and packed, column by column.
  EXPECT_EQ(other.CutGrid().Cell(1, 1), " 1200.  9");
  EXPECT_EQ(other.CutGrid().Cell(1, 6), " 5450. 12");
  EXPECT_EQ(other.CutGrid().Cell(1, 7), "");
  // The job's own file is untouched.
  auto again = std::make_unique<optimiser::OptimiserRecords>();
  JobForm base(*again);
  ASSERT_TRUE(OpenJobFile(base, job));
  EXPECT_EQ(base.CutGrid().Cell(1, 1), "");

  // A bad cut list: the message on stderr, exit 2, nothing written.
  const std::string bad = Write("bad.csv", "2700,4\n1500,x\n");
  out.str("");
  err.str("");
  EXPECT_EQ(
      cli::RunPlanCommand({job, "--cut-csv", bad, "--save-job", temp.File("not.zv5")}, out, err),
      cli::kExitUsage);
  EXPECT_NE(err.str().find("2 行目：本数が読めません「x」"), std::string::npos) << err.str();
  EXPECT_FALSE(std::ifstream(temp.File("not.zv5")).good());
}

}  // namespace
}  // namespace zarvel::job
