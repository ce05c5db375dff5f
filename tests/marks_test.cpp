#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/cp932.h"
#include "cli/plan_command.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "job/piece_marks.h"
#include "report/cut_bars.h"
#include "tests/temp_dir.h"

namespace zarvel::job {
namespace {

using optimiser::PieceMark;

TEST(PieceMarks, SavedAfterTheControlsReadBackAndGivenOutInCuttingOrder) {
  testing::TempDir temp("zarvel5-marks");
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  JobForm form(*records);
  form.StockGrid().SetCell(1, 1, " 8000.  5");
  form.CutGrid().SetCell(1, 1, " 3500.  3");
  form.CutGrid().SetCell(2, 1, " 1200.  2");
  // The grid holds: G3 marks more pieces than it has, X9 a length it has not.
  *form.MarkList() = {{"G1", 3500, 2}, {"B1", 1200, 1}, {"G2", 3500, 1},
                      {"X9", 999, 1},  {"G3", 3500, 5}, {"a,\"b\"", 1200, 1}};
  const std::string path = temp.File("marked.zv5");
  ASSERT_TRUE(WriteJobFile(form, path));
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  const std::size_t marks_at = bytes.find("\r\n[Marks]\r\nMarks = 6\r\nG1,3500,2\r\n");
  ASSERT_NE(marks_at, std::string::npos) << bytes;
  EXPECT_NE(bytes.find("CbMeisaiC"), std::string::npos);
  EXPECT_LT(bytes.find("CbMeisaiC"), marks_at);  // every control's key comes first

  auto other_records = std::make_unique<optimiser::OptimiserRecords>();
  JobForm loaded(*other_records);
  ASSERT_TRUE(OpenJobFile(loaded, path));
  EXPECT_EQ(*loaded.MarkList(), *form.MarkList());

  cli::CommandOptions o;
  o.job = path;
  cli::JobRun run;
  std::ostringstream err;
  ASSERT_EQ(cli::OpenAndRun(o, run, err), std::nullopt) << err.str();
  const report::CutBars cut = report::ListCutBars(*run.records);
  std::vector<std::string> given;  // marks in cutting order, length by length
  for (const report::CutBar& bar : cut.bars)
    for (const report::CutPiece& piece : bar.pieces)
      given.push_back(std::to_string(piece.length) + ":" + piece.mark);
  std::sort(given.begin(), given.end());
  EXPECT_EQ(given,
            (std::vector<std::string>{"1200:B1", "1200:a,\"b\"", "3500:G1", "3500:G1", "3500:G2"}));
  EXPECT_EQ(cut.unplaced, (std::vector<PieceMark>{{"X9", 999, 1}, {"G3", 3500, 5}}));
  EXPECT_NE(cli::PlanText(*run.records).find("切断材のない符号: X9"), std::string::npos);

  // The cutting diagrams name each box's marks; the summary names the marks without pieces.
  o.tables = "C";
  int pages = 0;
  ASSERT_EQ(cli::PlanAndRecordPages(o, pages, err), std::nullopt);
  // The pages record text a character at a time: the characters joined in order.
  std::string listing;
  std::istringstream lines(cli::PagesText(pages));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t quote = line.find('"');
    if (line.rfind("text ", 0) == 0 && quote != std::string::npos && line.size() > quote + 1)
      listing += line.substr(quote + 1, line.size() - quote - 2);
  }
  for (const char* shown : {"G1", "G2", "B1", "切断材のない符号", "X9(999×1)", "G3(3500×5)"})
    EXPECT_NE(listing.find(shown), std::string::npos) << shown;

  // A job without marks leaves none of the previous one's.
  ASSERT_TRUE(OpenJobFile(loaded, ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5"));
  EXPECT_TRUE(loaded.MarkList()->empty());
}

TEST(PieceMarks, DamagedSectionsReadWhatTheyHold) {
  const struct {
    const char* text;
    std::vector<PieceMark> marks;
  } cases[] = {
      {"[FmUnit1]\r\nedKname = x\r\n", {}},
      {"[Marks]\r\nMarks = 3\r\nA,100,2\r\n,100,1\r\nB,x,1\r\nC,100,0\r\n", {{"A", 100, 2}}},
      {"[Marks]\nMarks = 99999999\nA,100,2\nA,100,3\n[Other]\nB,5,5\n", {{"A", 100, 5}}},
      {"[Marks]\nMarks = -1\nA,100,2\n", {}},
      {"[Marks]\nMarks = 1\nABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789,7,1\nB,7,1\n",
       {{"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", 7, 1}}},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadMarks(c.text), c.marks) << c.text;
}

}  // namespace
}  // namespace zarvel::job
