// The labels' QR codes read back as a scanner reads them: the PNG pages and the printed PDF
// (rendered at 300 dpi) decoded with zbarimg (Debian zbar-tools; pdftoppm from poppler-utils).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "base/cp932.h"
#include "cli/plan_command.h"
#include "cli/report_command.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "report/labels.h"
#include "tests/temp_dir.h"

namespace zarvel::cli {
namespace {

namespace fs = std::filesystem;

// What a shell command prints on stdout.
std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
    ::pclose(p);
  }
  return out;
}

// Every QR code on the PNG files of a folder, one line each, sorted.
std::vector<std::string> DecodeFolder(const fs::path& dir) {
  std::vector<std::string> codes;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().extension() != ".png") continue;
    std::istringstream lines(Output("zbarimg -q --raw -Sdisable -Sqrcode.enable '" +
                                    e.path().string() + "' 2>/dev/null"));
    for (std::string line; std::getline(lines, line);) codes.push_back(line);
  }
  std::sort(codes.begin(), codes.end());
  return codes;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string f; std::getline(in, f, '\t');) fields.push_back(f);
  return fields;
}

TEST(LabelCodes, PngPagesAndThePrintedPdfDecodeToOneCodePerPieceAndKeptOffcut) {
  ASSERT_FALSE(Output("command -v zbarimg pdftoppm").empty())
      << "zbarimg (zbar-tools) and pdftoppm (poppler-utils) are needed: scripts/setup";
  testing::TempDir dir("zarvel5-label-codes");
  // The example job with a short cut list and marks, on the 44-label sheet.
  const std::string job = dir.File("labels.zv5");
  {
    auto records = std::make_unique<optimiser::OptimiserRecords>();
    job::JobForm form(*records);
    ASSERT_TRUE(job::OpenJobFile(form, ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5"));
    run::Grid& cut = form.CutGrid();
    for (int r = 1; r < cut.RowCount(); ++r)
      for (int c = 1; c < cut.ColCount(); ++c) cut.SetCell(c, r, "");
    cut.SetCell(1, 1, " 2900.  5");
    cut.SetCell(2, 1, " 1700.  4");
    cut.SetCell(3, 1, "  640.  3");
    *form.MarkList() = {{"G1", 2900, 5}, {base::Lit("小梁2"), 1700, 2}};
    form.Control(job::JobControl::kLabelSheet).SetItemIndex(2);
    ASSERT_TRUE(job::WriteJobFile(form, job));
  }
  // What the codes must say.
  CommandOptions o;
  o.job = job;
  JobRun run;
  std::ostringstream err;
  ASSERT_EQ(OpenAndRun(o, run, err), std::nullopt) << err.str();
  const report::CutBars cut = report::ListCutBars(*run.records);
  const std::vector<report::Label> labels = report::ListLabels(*run.records, cut, 500, 10000);
  std::vector<std::string> expected;
  for (const report::Label& l : labels) expected.push_back(report::LabelQrText(l));
  std::sort(expected.begin(), expected.end());
  ASSERT_GT(std::count_if(labels.begin(), labels.end(), [](auto& l) { return l.offcut; }), 0);
  const std::string member = base::Cp932ToUtf8(run.records->conditions.member_name);

  auto check = [&](const std::vector<std::string>& codes, const char* what) {
    EXPECT_EQ(codes, expected) << what;
    int pieces = 0;
    for (const std::string& code : codes) {
      const std::vector<std::string> f = Fields(code);
      const bool offcut = f[0] == "残材";
      ASSERT_EQ(f.size(), offcut ? 4u : 5u) << code;
      EXPECT_EQ(f[1], member) << code;
      const int length = std::stoi(f[offcut ? 2 : 3]);
      EXPECT_TRUE(offcut ? length >= 500 : length == 2900 || length == 1700 || length == 640);
      pieces += offcut ? 0 : 1;
    }
    EXPECT_EQ(pieces, 12) << what;
  };

  const fs::path png = dir.path() / "png";
  std::ostringstream out;
  ASSERT_EQ(
      RunReportCommand({job, "--png", png.string(), "--tables", "L", "--keep", "500"}, out, err),
      kExitPlanned)
      << err.str();
  check(DecodeFolder(png), "PNG");

  const std::string pdf = dir.File("labels.pdf");
  ASSERT_EQ(RunReportCommand({job, "--pdf", pdf, "--tables", "L", "--keep", "500"}, out, err),
            kExitPlanned)
      << err.str();
  const fs::path printed = dir.path() / "printed";
  fs::create_directories(printed);
  Output("pdftoppm -r 300 -png '" + pdf + "' '" + (printed / "sheet").string() + "'");
  check(DecodeFolder(printed), "PDF at 300 dpi");
}

}  // namespace
}  // namespace zarvel::cli
