// The labels' QR codes read back as a scanner reads them: the PNG pages and the printed PDF
// (rendered at 300 dpi) decoded with zbarimg (Debian zbar-tools; pdftoppm from poppler-utils).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
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

// The printed PDF read by another program (pdftotext): every mark a whole word, once on its
// label, once in the saw list and once in the diagrams, and every word inside its page.
TEST(LabelCodes, PdfTextNamesEveryMarkWholeOncePerPieceInEachPart) {
  ASSERT_FALSE(Output("command -v pdftotext").empty()) << "pdftotext (poppler-utils) is needed";
  testing::TempDir dir("zarvel5-pdf-marks");
  const std::string job = dir.File("marks.zv5");
  std::vector<std::string> marks;
  {
    auto records = std::make_unique<optimiser::OptimiserRecords>();
    job::JobForm form(*records);
    ASSERT_TRUE(job::OpenJobFile(form, ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5"));
    run::Grid& cut = form.CutGrid();
    for (int r = 1; r < cut.RowCount(); ++r)
      for (int c = 1; c < cut.ColCount(); ++c) cut.SetCell(c, r, "");
    cut.SetCell(1, 1, " 1900. 42");
    cut.SetCell(2, 1, " 2900.  4");
    for (int i = 1; i <= 42; ++i) marks.push_back("2C" + std::to_string(i));
    for (const char* m : {"2FG-X1X2-Y3-SPLICE-WEB-PL-00001A", "2FG-X1X2-Y3-SPLICE-WEB-PL-00002B",
                          "継手添板ウェブ側第一節柱脚部材Ａ", "継手添板ウェブ側第一節柱脚部材Ｂ"})
      marks.push_back(m);
    for (const std::string& m : marks)
      form.MarkList()->push_back(
          {base::Utf8ToCp932(m), m[0] == '2' && m[1] == 'C' ? 1900 : 2900, 1});
    form.Control(job::JobControl::kLabelSheet).SetItemIndex(2);
    ASSERT_TRUE(job::WriteJobFile(form, job));
  }
  const std::string pdf = dir.File("marks.pdf");
  std::ostringstream out, err;
  ASSERT_EQ(RunReportCommand({job, "--pdf", pdf, "--tables", "CSL"}, out, err), kExitPlanned)
      << err.str();
  // pdftotext -bbox: a <page width= height=> per page, a <word xMin= ...>text</word> per word.
  const std::string html = Output("pdftotext -bbox '" + pdf + "' - 2>/dev/null");
  ASSERT_FALSE(html.empty());
  std::map<std::string, int> seen;
  std::vector<std::string> cut_short;
  double width = 0, height = 0;
  int words = 0;
  std::istringstream lines(html);
  for (std::string line; std::getline(lines, line);) {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (std::sscanf(line.c_str(), " <page width=\"%lf\" height=\"%lf\"", &width, &height) == 2)
      continue;
    if (std::sscanf(line.c_str(), " <word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\"", &x0,
                    &y0, &x1, &y1) != 4)
      continue;
    ++words;
    const std::size_t open = line.find('>'), close = line.rfind("</word>");
    const std::string word = line.substr(open + 1, close - open - 1);
    EXPECT_TRUE(x0 >= 0 && y0 >= 0 && x1 <= width && y1 <= height) << word;
    // "2C1,2C4," and "1:" in the lists: the marks between the commas.
    std::istringstream items(word);
    for (std::string item; std::getline(items, item, ',');) {
      // Numbers are lengths, counts and page numbers ("6000 × 2"): no mark here is one.
      if (item.empty() || item.back() == ':' ||
          item.find_first_not_of("0123456789") == std::string::npos)
        continue;
      if (std::find(marks.begin(), marks.end(), item) != marks.end()) {
        ++seen[item];
      } else if (std::any_of(marks.begin(), marks.end(),
                             [&](const std::string& m) { return m.rfind(item, 0) == 0; })) {
        cut_short.push_back(item);
      }
    }
  }
  EXPECT_GT(words, 100);
  for (const std::string& m : marks) EXPECT_EQ(seen[m], 3) << m;
  EXPECT_EQ(cut_short, std::vector<std::string>{});
}

}  // namespace
}  // namespace zarvel::cli
