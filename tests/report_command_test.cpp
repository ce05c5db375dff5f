#include "cli/report_command.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/format.h"
#include "cli/plan_command.h"
#include "report/cut_bars.h"
#include "report/labels.h"
#include "tests/temp_dir.h"

namespace zarvel::cli {
namespace {

namespace fs = std::filesystem;

TEST(ReportCommand, PngFolderHoldsExactlyTheReportsPages) {
  testing::TempDir dir("zarvel5-png");
  const std::string job = ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5";
  std::ostringstream out, err;
  // A longer report first: the pattern tables add pages.
  ASSERT_EQ(RunReportCommand({job, "--png", dir.path().string(), "--tables", "AB"}, out, err),
            kExitPlanned)
      << err.str();
  int long_report = 0;
  for (const auto& e : fs::directory_iterator(dir.path())) long_report += e.is_regular_file();
  ASSERT_GT(long_report, 1);
  // Files of other names stay, whatever they look like.
  for (const char* other : {"page-notes.png", "page-01.png", "page-0002.png", "cover.png"})
    std::ofstream(dir.File(other)) << "mine";
  out.str("");
  ASSERT_EQ(RunReportCommand({job, "--png", dir.path().string(), "--tables", "none"}, out, err),
            kExitPlanned)
      << err.str();
  EXPECT_EQ(out.str(), dir.File("page-001.png") + "\n");
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path()))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"cover.png", "page-0002.png", "page-001.png",
                                             "page-01.png", "page-notes.png"}));
}

TEST(ReportCommand, NeverWritesOverTheJob) {
  testing::TempDir dir("zarvel5-report-onto-job");
  const std::string job = dir.File("page-002.png");  // a job under a page file's name
  fs::copy_file(ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5", job);
  std::ostringstream out, err;
  EXPECT_EQ(RunReportCommand({job, "--pdf", job}, out, err), kExitUsage);
  EXPECT_EQ(RunReportCommand({job, "--png", dir.path().string()}, out, err), kExitUsage);
  EXPECT_EQ(fs::file_size(job), fs::file_size(ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5"));
  EXPECT_NE(err.str().find("--png の出力先 " + job + " は読み込む仕事のファイルです。"),
            std::string::npos);
}

// Nested jobs print each group's report in turn: the pages of two sections numbered on, as many
// as the two jobs' own reports.
TEST(ReportCommand, NestPrintsEveryGroupsPagesInTurn) {
  testing::TempDir dir("zarvel5-nest-png");
  const std::string beams = ZARVEL5_SOURCE_DIR "/examples/project/minami_beams.zv5";
  const std::string columns = ZARVEL5_SOURCE_DIR "/examples/project/minami_columns.zv5";
  auto count = [](const fs::path& folder) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(folder)) n += e.is_regular_file();
    return n;
  };
  std::ostringstream out, err;
  int alone = 0;
  for (const std::string& job : {beams, columns}) {
    testing::TempDir one("zarvel5-nest-png-one");
    ASSERT_EQ(RunReportCommand({job, "--png", one.path().string(), "--tables", "C"}, out, err),
              kExitPlanned)
        << err.str();
    alone += count(one.path());
  }
  out.str("");
  ASSERT_EQ(RunNestReportCommand({beams, columns, "--png", dir.path().string(), "--tables", "C"},
                                 out, err),
            kExitPlanned)
      << err.str();
  EXPECT_EQ(count(dir.path()), alone);
  EXPECT_TRUE(fs::exists(dir.File(base::Format("page-%03d.png", alone))));
  EXPECT_EQ(RunNestReportCommand({beams, columns}, out, err), kExitUsage);
}

// Pages are white paper in PNG files as on the printer; the label sheet is chosen on the command
// line or taken from the job.
TEST(ReportCommand, WhitePngPagesAndTheLabelSheetChosen) {
  testing::TempDir dir("zarvel5-png-white");
  const std::string job = ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5";
  std::ostringstream out, err;
  ASSERT_EQ(RunReportCommand({job, "--png", dir.path().string(), "--tables", "SL", "--keep",
                              "99999", "--label-sheet", "44"},
                             out, err),
            kExitPlanned)
      << err.str();
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    const QImage page(QString::fromStdString(e.path().string()));
    ASSERT_FALSE(page.isNull()) << e.path();
    EXPECT_EQ(page.pixel(2, 2), qRgb(255, 255, 255)) << e.path();
    ++files;
  }
  auto pages = [&](std::vector<std::string> args) {
    std::ostringstream listing, errors;
    args.insert(args.begin(), job);
    const int code = RunPagesCommand(args, listing, errors);
    err.str(errors.str());
    int n = 0;
    std::istringstream lines(listing.str());
    for (std::string line; std::getline(lines, line);) n += line.rfind("page ", 0) == 0;
    return code == kExitPlanned ? n : -code;
  };
  EXPECT_EQ(files, pages({"--tables", "SL", "--keep", "99999", "--label-sheet", "44"}));
  // A sheet of labels a page after the summary, however many labels the sheet holds.
  CommandOptions o;
  o.job = job;
  JobRun run;
  ASSERT_EQ(OpenAndRun(o, run, err), std::nullopt) << err.str();
  const int labels = static_cast<int>(
      report::ListLabels(*run.records, report::ListCutBars(*run.records), 99999, 100000).size());
  for (const int sheet : {12, 24, 44}) {
    EXPECT_EQ(pages({"--tables", "L", "--keep", "99999", "--label-sheet", std::to_string(sheet)}),
              1 + (labels + sheet - 1) / sheet)
        << sheet;
  }
  // Without the option, the job's own sheet (12 in the example).
  EXPECT_EQ(pages({"--tables", "L", "--keep", "99999"}), 1 + (labels + 11) / 12);
  for (const char* bad : {"13", "", "044", "12x"}) {
    EXPECT_EQ(pages({"--label-sheet", bad}), -kExitUsage) << bad;
    EXPECT_NE(err.str().find("--label-sheet には 12, 24, 44 のどれか"), std::string::npos) << bad;
  }
}

}  // namespace
}  // namespace zarvel::cli
