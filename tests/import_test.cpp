#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/cp932.h"
#include "cli/import_command.h"
#include "exchange/dstv.h"
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
                const std::string& weight = "20.94") {
  std::string s = "** part file\r\nST\r\n** header\r\n";
  for (const std::string& v :
       {std::string("P-1001"), std::string("D12"), std::string("1"), mark, std::string("SS400"),
        quantity, profile, code, length, std::string("200.00"), std::string("100.00"),
        std::string("8.00"), std::string("5.50"), std::string("8.00"), weight,
        std::string("0.784")})
    s += "  " + v + "\r\n";
  return s + "BO\r\n  v  50.00u  40.00  22.00\r\nEN\r\n";
}

TEST(Dstv, HeaderFieldsAreReadStrictly) {
  const DstvRead good =
      ReadDstv("\xEF\xBB\xBF" + Nc1("G1", "2", "H200X100X5.5X8", "I", "3500.40,3505.00"));
  ASSERT_TRUE(good.ok) << good.error;
  EXPECT_EQ(good.part.mark, "G1");
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
      {"** nothing\r\nEN\r\n", "ST ブロック"},
      {"ST\r\n  P1\r\n  D1\r\n", "ヘッダーが途中で終わっています"},
  };
  for (const auto& b : bad) {
    const DstvRead r = ReadDstv(b.bytes);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(b.reason), std::string::npos) << r.error;
  }
}

TEST(ImportCommand, PartsGoToOneJobPerSectionWithTheirMarks) {
  testing::TempDir temp("zarvel5-import");
  const fs::path in = temp.File("parts");
  fs::create_directories(in / "sub");
  const auto write = [&](const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  };
  write(in / "g1.nc1", Nc1("G1", "2", "H200X100X5.5X8", "I", "3500.4"));
  write(in / "sub" / "G2.NC1", Nc1("G2", "3", "H-200x100x5.5x8", "I", "3500"));
  write(in / "b1.nc1", Nc1("B1", "4", "ZS175*1.5", "SO", "1200", "0"));
  write(in / "p1.nc1", Nc1("PL1", "1", "PL12*200", "B", "400"));
  write(in / "bad.nc1", Nc1("X", "1", "H200X100X5.5X8", "I", "6236:88"));
  write(in / "list.csv", base::Utf8ToCp932("符号,断面,材質,長さ,本数\n"
                                           "C1,L-65x65x6,SS400,2400,3\n"
                                           "C2,L65*65*6,SS400,1800,1\n"
                                           "合計,,,,4\n"));
  const std::string out_dir = temp.File("jobs");
  std::ostringstream out, err;
  EXPECT_EQ(cli::RunImportCommand({in.string(), "--out", out_dir, "--json"}, out, err), 1);
  const std::string json = out.str();
  for (const char* expected :
       {"\"section\": \"H-200×100×5.5×8\", \"pieces\": 5, \"lengths\": 2, \"rounded\": 2",
        "\"profile\": \"ZS175*1.5\"", "\"section\": \"L-65×65×6\", \"pieces\": 4",
        "\"left_out\": [{\"file\": ", "p1.nc1", "\"refused\": [{\"file\": ", "bad.nc1",
        "長さ「6236:88」", "\"skipped_lines\": 1"})
    EXPECT_NE(json.find(expected), std::string::npos) << expected << "\n" << json;

  // The H job: whole millimetres (3500.4 rounded up), marks kept, weight from the table.
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  ASSERT_TRUE(job::OpenJobFile(form, out_dir + "/H-200×100×5.5×8.zv5"));
  EXPECT_EQ(base::Cp932ToUtf8(form.Field(run::JobField::kMemberName).Text()), "H-200×100×5.5×8");
  EXPECT_EQ(form.Field(run::JobField::kUnitWeight).Text(), "   20.90");
  EXPECT_EQ(*form.MarkList(),
            (std::vector<optimiser::PieceMark>{{"G1", 3501, 2}, {"G2", 3500, 3}}));
  EXPECT_TRUE(fs::exists(out_dir + "/ZS175_1.5.zv5"));  // a file name made safe

  // Never over an existing job: a second import writes beside the first.
  out.str("");
  EXPECT_EQ(cli::RunImportCommand({(in / "g1.nc1").string(), "--out", out_dir}, out, err), 0);
  EXPECT_TRUE(fs::exists(out_dir + "/H-200×100×5.5×8 (2).zv5")) << out.str();
  EXPECT_EQ(cli::RunImportCommand({in.string()}, out, err), 2);
}

}  // namespace
}  // namespace zarvel::exchange
