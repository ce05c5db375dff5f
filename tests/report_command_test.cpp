#include "cli/report_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/plan_command.h"
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

}  // namespace
}  // namespace zarvel::cli
