#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "base/cp932.h"
#include "cli/import_command.h"
#include "exchange/dstv.h"
#include "exchange/part_files.h"
#include "exchange/part_import.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "tests/temp_dir.h"

namespace zarvel::exchange {
namespace {

namespace fs = std::filesystem;

// A part file as detailing programs write it: the ST block's values right-aligned, one a line,
// comments, further blocks after it.
std::string Nc1(const std::string& mark, const std::string& quantity, const std::string& profile,
                const std::string& code, const std::string& length,
                const std::string& weight = "20.94", const std::string& grade = "SS400") {
  std::string s = "** part file\r\nST\r\n** header\r\n";
  for (const std::string& v :
       {std::string("P-1001"), std::string("D12"), std::string("1"), mark, grade, quantity, profile,
        code, length, std::string("200.00"), std::string("100.00"), std::string("8.00"),
        std::string("5.50"), std::string("8.00"), weight, std::string("0.784")})
    s += "  " + v + "\r\n";
  return s + "BO\r\n  v  50.00u  40.00  22.00\r\nEN\r\n";
}

TEST(Dstv, HeaderFieldsAreReadStrictly) {
  const DstvRead good =
      ReadDstv("\xEF\xBB\xBF" + Nc1("G1", "2", "H200X100X5.5X8", "I", "3500.40,3505.00"));
  ASSERT_TRUE(good.ok) << good.error;
  EXPECT_EQ(good.part.mark, "G1");
  EXPECT_EQ(good.part.grade, "SS400");
  EXPECT_EQ(good.part.quantity, 2);
  EXPECT_DOUBLE_EQ(good.part.length, 3500.4);  // a saw length after the comma is not the length
  EXPECT_DOUBLE_EQ(good.part.kg_per_m, 20.94);
  const struct {
    std::string bytes;
    const char* reason;
  } bad[] = {
      {Nc1("G1", "2", "H200X100X5.5X8", "I", "6236:88"), "長さ「6236:88」は数ではありません"},
      {Nc1("G1", "x", "H200X100X5.5X8", "I", "3500"), "数量「x」は数ではありません"},
      {Nc1("G1", "1.5", "H200X100X5.5X8", "I", "3500"), "数量「1.5」は 1～99999 の整数では"},
      {Nc1("G1", "1", "H200X100X5.5X8", "I", "0"), "長さ「0」は 0 mm より長くなければ"},
      {"** nothing\r\nEN\r\n", "ST ブロック"},
      {"ST\r\n  P1\r\n  D1\r\n", "ヘッダーが途中で終わっています"},
  };
  for (const auto& b : bad) {
    const DstvRead r = ReadDstv(b.bytes);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(b.reason), std::string::npos) << r.error;
  }
  EXPECT_EQ(ReadDstv(bad[0].bytes).part.profile, "H200X100X5.5X8");  // known for the note
}

TEST(Dstv, TextsNumbersAndWeightsAsWritersGiveThem) {
  struct Case {
    std::string bytes;
    const char *mark, *profile;
    double length, kg_per_m;
  };
  const std::string sjis_mark = base::Utf8ToCp932("大梁G1");
  const Case cases[] = {
      {Nc1(sjis_mark, "1", base::Utf8ToCp932("□-150x150x6"), "M", "6236,88"), "大梁G1",
       "□-150x150x6", 6236.88, 20.94},
      {Nc1("大梁G1", "1", "□-150x150x6", "M", "3000", "42,3"), "大梁G1", "□-150x150x6", 3000, 42.3},
      {Nc1("P\xF6s", "1", "HEA  200", "I", "3000", "0"), "Pös", "HEA 200", 3000, 0},  // Latin-1
      // A plate's weight is per square metre: × the width (the height field, 200 mm).
      {Nc1("PL1", "1", "PL12*200", "B", "400", "94.2"), "PL1", "PL12*200", 400, 94.2 * 0.2},
  };
  for (const Case& c : cases) {
    const DstvRead r = ReadDstv(c.bytes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.part.mark, c.mark);
    EXPECT_EQ(r.part.profile, c.profile);
    EXPECT_DOUBLE_EQ(r.part.length, c.length);
    EXPECT_NEAR(r.part.kg_per_m, c.kg_per_m, 1e-9);
  }
  EXPECT_TRUE(LooksLikeDstv(Nc1("G1", "1", "L65*65*6", "L", "900")));
  EXPECT_FALSE(LooksLikeDstv("長さ,本数\n900,1\n"));
}

TEST(PartImport, FileNamesKeepEveryCharacter) {
  EXPECT_EQ(SafeFileName("大梁"), "大梁");
  EXPECT_EQ(SafeFileName("ZS175*1.5 SS400"), "ZS175_1.5 SS400");
  std::string long_name;
  for (int i = 0; i < 100; ++i) long_name += "梁";  // 300 bytes: cut between characters
  EXPECT_EQ(SafeFileName(long_name), long_name.substr(0, 180));
  EXPECT_EQ(SafeFileName("H" + long_name), "H" + long_name.substr(0, 177));
}

TEST(PartImport, LongSectionsAreSplitIntoJobsOfMixedLengths) {
  std::vector<job::CutPiece> pieces;
  for (int i = 0; i < 7; ++i) pieces.push_back({7000 - 1000 * i, 1});
  const auto split = SplitLengths(pieces, 3);
  ASSERT_EQ(split.size(), 3u);
  const auto lengths = [](const std::vector<job::CutPiece>& v) {
    std::vector<int32_t> out;
    for (const job::CutPiece& c : v) out.push_back(c.length);
    return out;
  };
  EXPECT_EQ(lengths(split[0]), (std::vector<int32_t>{7000, 2000, 1000}));
  EXPECT_EQ(lengths(split[1]), (std::vector<int32_t>{6000, 3000}));
  EXPECT_EQ(lengths(split[2]), (std::vector<int32_t>{5000, 4000}));

  std::vector<ImportPart> parts;
  for (int i = 0; i < 150; ++i)
    parts.push_back({"f", "", "L-65x65x6", "", "", 1000.0 + 10 * i, 1, 0, false});
  const std::vector<ImportedJob> jobs = GroupParts(parts, 102);
  ASSERT_EQ(jobs.size(), 2u);  // the fewest jobs: 75 lengths each, long and short in both
  for (const ImportedJob& j : jobs) {
    EXPECT_EQ(j.pieces.size(), 75u);
    EXPECT_GE(j.pieces.front().length, 2480);
    EXPECT_LE(j.pieces.back().length, 1010);
  }
}

class ImportTest : public ::testing::Test {
 protected:
  void Write(const std::string& name, const std::string& bytes) {
    const fs::path p = in / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  int Run(std::vector<std::string> args) {
    args.insert(args.end(), {"--out", out_dir, "--json"});
    out.str("");
    err.str("");
    return cli::RunImportCommand(args, out, err);
  }
  std::string Job(const std::string& name) { return testing::ReadBytes(out_dir + "/" + name); }

  testing::TempDir temp{"zarvel5-import"};
  fs::path in = temp.path() / "parts";
  std::string out_dir = temp.File("jobs");
  std::ostringstream out, err;
};

TEST_F(ImportTest, PartsGoToOneJobPerMaterialWithTheirMarks) {
  Write("g1.nc1", Nc1("G1", "2", "H200X100X5.5X8", "I", "3500.4"));
  Write("sub/G2.NC1", Nc1("G2", "3", "H-200x100x5.5x8", "I", "3500"));
  Write("b1.nc1", Nc1("B1", "4", "ZS175*1.5", "SO", "1200", "0"));
  Write("p1.nc1", Nc1("PL1", "1", "PL12*200", "B", "400"));
  Write("bad.nc1", Nc1("X", "1", "H300X150X6.5X9", "I", "6236:88"));
  Write("list.csv", base::Utf8ToCp932("符号,断面,材質,長さ,本数\n"
                                      "C1,L-65x65x6,SS400,2400,3\n"
                                      "C2,L65*65*6,SS400,1800,1\n"
                                      "合計,,,,4\n"));
  EXPECT_EQ(Run({in.string()}), 1);  // a file refused
  const std::string json = out.str();
  for (const char* expected :
       {"\"section\": \"H-200×100×5.5×8\", \"grade\": \"SS400\"",
        "\"pieces\": 5, \"lengths\": 2, \"rounded\": 2", "\"profile\": \"ZS175*1.5\"",
        "\"section\": \"L-65×65×6\", \"grade\": \"SS400\", \"usage\": \"\", \"pieces\": 4",
        "\"left_out\": [{\"file\": ", "p1.nc1", "\"refused\": [{\"file\": ", "bad.nc1",
        "長さ「6236:88」", "\"skipped_lines\": 1"})
    EXPECT_NE(json.find(expected), std::string::npos) << expected << "\n" << json;

  // The H job: whole millimetres (3500.4 rounded up), marks kept, weight from the table.
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  ASSERT_TRUE(job::OpenJobFile(form, out_dir + "/H-200×100×5.5×8 SS400.zv5"));
  EXPECT_EQ(base::Cp932ToUtf8(form.Field(run::JobField::kMemberName).Text()), "H-200×100×5.5×8");
  EXPECT_EQ(form.Field(run::JobField::kUnitWeight).Text(), "   20.90");
  EXPECT_EQ(form.grade, "SS400");
  EXPECT_EQ(*form.MarkList(),
            (std::vector<optimiser::PieceMark>{{"G1", 3501, 2}, {"G2", 3500, 3}}));
  EXPECT_TRUE(fs::exists(out_dir + "/ZS175_1.5 SS400.zv5"));  // a file name made safe

  // Never over an existing job: a second import writes beside the first.
  EXPECT_EQ(Run({(in / "g1.nc1").string()}), 0);
  EXPECT_TRUE(fs::exists(out_dir + "/H-200×100×5.5×8 SS400 (2).zv5")) << out.str();
  EXPECT_EQ(cli::RunImportCommand({in.string()}, out, err), 2);

  // A part file named whatever its extension is read as one.
  Write("other/part.dat", Nc1("D1", "1", "L-65x65x6", "L", "900"));
  EXPECT_EQ(Run({(in / "other/part.dat").string()}), 0) << out.str();
  EXPECT_NE(out.str().find("\"section\": \"L-65×65×6\""), std::string::npos);
}

// The cases a fabricator's office meets: each a few files, the command's answer and the jobs.
TEST_F(ImportTest, WhatAnOfficeMeets) {
  using Files = std::map<std::string, std::string>;
  struct Case {
    const char* name;
    Files files;
    std::vector<std::string> options;
    int code;
    std::vector<std::string> expected;    // in the JSON
    std::vector<std::string> unexpected;  // not in it
    std::vector<std::string> jobs;        // files written
  };
  const std::string cols = "符号,部材,断面,長さ(mm),数量,材質\n";
  const Case cases[] = {
      {"two grades of one section",
       {{"a.nc1", Nc1("A1", "2", "H-200x100x5.5x8", "I", "3000")},
        {"b.nc1", Nc1("B1", "1", "H-200x100x5.5x8", "I", "3000", "20.94", "SN490B")}},
       {},
       0,
       {"\"grade\": \"SN490B\", \"usage\": \"\", \"pieces\": 1",
        "\"name\": \"H-200×100×5.5×8 SN490B\""},
       {},
       {"H-200×100×5.5×8 SS400.zv5", "H-200×100×5.5×8 SN490B.zv5"}},
      {"the section column, not 部材 or 規格",
       {{"l.csv", base::Utf8ToCp932(cols + "G1,大梁,H-400x200x8x13,6000,2,SN490B\n"
                                           "G2,大梁,H-500x200x10x16,6000,2,SN490B\n"
                                           "B1,小梁,H-400x200x8x13,4000,1,SN490B\n")}},
       {},
       0,
       {"\"section\": \"H-400×200×8×13\", \"grade\": \"SN490B\", \"usage\": \"大梁・小梁\", "
        "\"pieces\": 3"},
       {"74.12"},
       {"H-400×200×8×13 SN490B.zv5", "H-500×200×10×16 SN490B.zv5"}},
      {"blank section cells are refused by row",
       {{"l.csv", base::Utf8ToCp932(cols + "G1,大梁,H-400x200x8x13,6000,2,SN490B\n"
                                           "G2,大梁,,6000,2,SN490B\n,,,5000,1,SN490B\n")}},
       {},
       1,
       {"断面が空の行があります (3, 4 行目)", "\"jobs\": []"},
       {},
       {}},
      {"repeats counted once and listed",
       {{"revA/b1.nc1", Nc1("B1", "20", "L-65x65x6", "L", "3150")},
        {"revB/b1.nc1", Nc1("B1", "20", "L-65x65x6", "L", "3150")}},
       {},
       0,
       {"\"pieces\": 20", "\"repeats\": [{\"file\": ", "revB/b1.nc1",
        "は " + (in / "revA/b1.nc1").string() + " と同じ部品です"},
       {},
       {"L-65×65×6 SS400.zv5"}},
      {"repeats summed when asked",
       {{"revA/b1.nc1", Nc1("B1", "20", "L-65x65x6", "L", "3150")},
        {"revB/b1.nc1", Nc1("B1", "20", "L-65x65x6", "L", "3150")}},
       {"--sum-repeats"},
       0,
       {"\"pieces\": 40", "\"repeats\": []"},
       {},
       {"L-65×65×6 SS400.zv5"}},
      {"one mark, two lengths",
       {{"revA/b1.nc1", Nc1("B1", "20", "L-65x65x6", "L", "3150")},
        {"revB/b1.nc1", Nc1("B1", "20", "L-65x65x6", "L", "3200")}},
       {"--sum-repeats"},
       1,
       {"符号 B1 の長さが 3150 mm と 3200 mm で違います", "revA/b1.nc1 と "},
       {"\"pieces\""},
       {}},
      {"a refused file holds its section back",
       {{"a.nc1", Nc1("A1", "2", "L-65x65x6", "L", "3000")},
        {"b.nc1", Nc1("B1", "1", "L-65x65x6", "L", "0")},
        {"c.nc1", Nc1("C1", "1", "H-200x100x5.5x8", "I", "3000")}},
       {},
       1,
       {"\"not_written\": [\"L-65×65×6 SS400\"]", "長さ「0」"},
       {},
       {"H-200×100×5.5×8 SS400.zv5"}},
      {"--partial writes it with a note",
       {{"a.nc1", Nc1("A1", "2", "L-65x65x6", "L", "3000")},
        {"b.nc1", Nc1("B1", "1", "L-65x65x6", "L", "0")}},
       {"--partial"},
       1,
       {"\"missing\": [\"" + (in / "b.nc1").string(), "\"not_written\": []"},
       {},
       {"L-65×65×6 SS400.zv5"}},
      {"no weight anywhere: empty, with a warning",
       {{"ipe.nc1", Nc1("I1", "1", "IPE 300", "I", "3000", "0")},
        {"hea.nc1", Nc1("H1", "1", "HEA200", "I", "3000", "0")},
        {"hea2.nc1", Nc1("H2", "1", "HEA 200", "I", "2000", "0")},
        {"hea3.nc1", Nc1("H3", "1", "hea200", "I", "1000", "0")}},
       {},
       0,
       {"単位重量が分かりません",
        "\"profile\": \"HEA200\", \"section\": \"HEA200\", \"grade\": "
        "\"SS400\", \"usage\": \"\", \"pieces\": 3"},
       {"HEA 200\"", "hea200\""},
       {"IPE 300 SS400.zv5", "HEA200 SS400.zv5"}},
      {"a weight column for a section the table lacks",
       {{"l.csv", base::Utf8ToCp932("断面,長さ,本数,単位重量(kg/m)\nHEB 300,3000,2,\"117,0\"\n")}},
       {},
       0,
       {"\"section\": \"HEB 300\""},
       {"単位重量が分かりません"},
       {"HEB 300.zv5"}},
      {"a blank count cell",
       {{"l.csv", base::Utf8ToCp932("長さ,本数\n3000,2\n2000,\n")}},
       {},
       1,
       {"3 行目：本数がありません"},
       {},
       {}},
      {"a chosen column beyond the lines",
       {{"l.csv", "B1,L-65x65x6,SS400,3000,2,x\n"}},
       {"--columns", "section=2,length=4,count=9"},
       1,
       {"9 列目がありません"},
       {},
       {}},
      {"Japanese text in part files, Shift_JIS and UTF-8",
       {{"a.nc1",
         Nc1(base::Utf8ToCp932("大梁G1"), "1", base::Utf8ToCp932("□-150x150x6"), "M", "3000")},
        {"b.nc1", Nc1("大梁G2", "1", "□-150x150x6", "M", "2000")}},
       {},
       0,
       {"\"section\": \"□-150×150×6\", \"grade\": \"SS400\", \"usage\": \"\", \"pieces\": 2"},
       {},
       {"□-150×150×6 SS400.zv5"}},
      {"a list named after its file, every character kept",
       {{"大梁.csv", "3000,2\n"}},
       {},
       0,
       {"\"section\": \"大梁\""},
       {},
       {"大梁.zv5"}},
      {"a text log beside the lists is no list",
       {{"l.csv", "3000,2\n"}, {"export.txt", "12:00 3 files written\n"}},
       {},
       0,
       {"見出しのない .txt は部品表として読みません"},
       {},
       {"l.zv5"}},
      {"a list copied whole is counted once",
       {{"revA/l.csv", "長さ,本数\n3000,2\n"}, {"copy/l.csv", "長さ,本数\n3000,2\n"}},
       {},
       0,
       {"\"pieces\": 2", "中身が " + (in / "copy/l.csv").string() + " と同じです"},
       {},
       {"l.zv5"}},
      {"an empty folder",
       {{"sub/readme.md", "x"}},
       {},
       1,
       {"部品ファイル (.nc1/.nc) も部品表"},
       {},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(in);
    fs::remove_all(out_dir);
    for (const auto& [name, bytes] : c.files) Write(name, bytes);
    std::vector<std::string> args{in.string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    EXPECT_EQ(Run(args), c.code) << out.str() << err.str();
    const std::string json = out.str();
    for (const std::string& e : c.expected)
      EXPECT_NE(json.find(e), std::string::npos) << e << "\n" << json;
    for (const std::string& u : c.unexpected)
      EXPECT_EQ(json.find(u), std::string::npos) << u << json;
    std::vector<std::string> written;
    std::error_code ec;
    for (const auto& f : fs::directory_iterator(out_dir, ec))
      written.push_back(f.path().filename());
    std::sort(written.begin(), written.end());
    std::vector<std::string> jobs = c.jobs;
    std::sort(jobs.begin(), jobs.end());
    EXPECT_EQ(written, jobs);
    // The note rides in a job written with --partial.
    if (!c.options.empty() && c.options[0] == "--partial") {
      EXPECT_NE(Job(c.jobs[0]).find("ImportNote = "), std::string::npos);
    }
  }
}

TEST_F(ImportTest, TheTemplateGivesStockAndConditionsButNotItsYardOrWeight) {
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  form.SetFieldText(run::JobField::kMemberName, "H-200x100x5.5x8");
  form.SetFieldText(run::JobField::kUnitWeight, "   21.30");
  form.SetFieldText(run::JobField::kMargin, "20");
  form.StockGrid().SetCell(1, 1, "12000.  5");
  form.RelayoutGrids();
  form.yard_stock = {"H-200x100x5.5x8", {{12000, 5}}};
  form.grade = "SS400";
  const std::string template_path = temp.File("template.zv5");
  ASSERT_TRUE(job::WriteJobFile(form, template_path));

  Write("a.nc1", Nc1("A1", "1", "L-65x65x6", "L", "11990"));
  Write("b.nc1", Nc1("B1", "1", "L-65x65x6", "L", "12010"));
  Write("c.nc1", Nc1("C1", "1", "L-65x65x6", "L", "12030"));
  Write("d.nc1", Nc1("D1", "1", "UPE 200", "U", "3000", "0", ""));
  EXPECT_EQ(Run({in.string(), "--template", template_path}), 0);
  const std::string json = out.str();
  // Through the margin: 11990 and 12010 fit a 12000 bar with 20 mm to spare; 12030 does not.
  EXPECT_NE(json.find("12030 mm × 1 本: 最長の素材 12000 mm（素材の余裕 20 mm）から取れません"),
            std::string::npos)
      << json;
  EXPECT_EQ(json.find("12010 mm"), std::string::npos) << json;
  const std::string angle = Job("L-65×65×6 SS400.zv5");
  EXPECT_EQ(angle.find("YardSection"), std::string::npos) << angle;
  EXPECT_NE(angle.find("Grade = SS400"), std::string::npos);
  EXPECT_NE(angle.find("12000.  5"), std::string::npos);
  // Without a grade, none is written; the weight is not the template's.
  const std::string upe = Job("UPE 200.zv5");
  EXPECT_EQ(upe.find("Grade"), std::string::npos);
  EXPECT_EQ(upe.find("21.30"), std::string::npos);
}

TEST_F(ImportTest, AnUnreadableFolderIsNamed) {
  Write("a.nc1", Nc1("A1", "1", "L-65x65x6", "L", "3000"));
  Write("locked/b.nc1", Nc1("B1", "1", "L-65x65x6", "L", "3000"));
  fs::permissions(in / "locked", fs::perms::none);
  // The super-user reads every folder: the check runs as an ordinary user then.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    const PartFiles files = ReadPartFiles({in.string()}, {});
    const bool named = files.refused.size() == 1 &&
                       files.refused[0].file == (in / "locked").string() &&
                       files.refused[0].reason.rfind("フォルダーを読めません", 0) == 0;
    ::_exit(named && files.parts.size() == 1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  fs::permissions(in / "locked", fs::perms::owner_all);
}

}  // namespace
}  // namespace zarvel::exchange
