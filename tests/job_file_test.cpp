#include "job/job_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "base/app_info.h"
#include "base/cp932.h"
#include "base/lines.h"
#include "job/comma_text.h"
#include "job/job_form.h"
#include "tests/fakes.h"
#include "tests/temp_dir.h"

namespace zarvel::job {
namespace {

namespace fs = std::filesystem;
using run::JobField;
using testing::FakeForm;
using testing::ReadBytes;
using testing::WriteBytes;

class JobFileTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return temp.File(name); }

  testing::TempDir temp{"zarvel5-job"};
  const fs::path& dir = temp.path();
  std::unique_ptr<optimiser::OptimiserRecords> records =
      std::make_unique<optimiser::OptimiserRecords>();
  JobForm form{*records};
};

TEST(CommaText, QuotesWhatNeedsIt) {
  EXPECT_EQ(JoinCommaText({"", base::Lit("長さ. 本数"), "a"}),
            "," + base::Lit("\"長さ. 本数\"") + ",a");
  EXPECT_EQ(JoinCommaText({"1", " 5500.  3", ""}), "1,\" 5500.  3\",");
  EXPECT_EQ(JoinCommaText({"a\"b", "c,d", "tab\there"}), "\"a\"\"b\",\"c,d\",\"tab\there\"");
  EXPECT_EQ(JoinCommaText({""}), "\"\"");
  EXPECT_EQ(JoinCommaText({}), "");
}

TEST(CommaText, ReadsBackWhatWasWritten) {
  const std::vector<std::vector<std::string>> rows = {
      {"1", " 5500.  3", "x"}, {"a\"b", "c,d", "\"\""}, {"plain", "two words", ","}};
  for (const auto& row : rows) EXPECT_EQ(SplitCommaText(JoinCommaText(row)), row);
}

TEST(CommaText, ReadingRules) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitCommaText("1,,"), (V{"1", "", ""}));
  EXPECT_EQ(SplitCommaText("  a , b  ,c"), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitCommaText("a b"), (V{"a", "b"}));   // a blank ends an unquoted value
  EXPECT_EQ(SplitCommaText("\"open"), (V{"open"}));  // no closing quote: runs to the end
  EXPECT_EQ(SplitCommaText(""), V{});
  EXPECT_EQ(SplitCommaText("\"\""), (V{""}));
  EXPECT_EQ(SplitCommaText(",x"), (V{"", "x"}));
}

// What a fresh job writes after the 54 lines of the first job files.
constexpr const char* kAddedLines =
    "CbMeisaiC = 0\r\nCbMeisaiL = 0\r\nRgLabelSheet = 0\r\nCbMeisaiS = 0\r\n";

TEST_F(JobFileTest, FreshJobMatchesTheGoldenFile) {
  const std::string path = Path("fresh.zv5");
  ASSERT_TRUE(WriteJobFile(form, path));
  const std::string bytes = ReadBytes(path);
  // The 54 lines every job file has, then the switches added since: diagrams, labels and their
  // sheet, the saw list.
  EXPECT_EQ(bytes, ReadBytes(ZARVEL5_SOURCE_DIR "/tests/data/fresh_job.zv5") + kAddedLines);
  EXPECT_EQ(base::SplitLines(bytes).size(), 58u);
  EXPECT_EQ(base::SplitLines(bytes)[0], base::WindowCaption());
  EXPECT_EQ(base::Cp932ToUtf8(base::WindowCaption()), "棒材Zarvel５ (2025.04.01版) ");
}

TEST_F(JobFileTest, FormIsBuiltFromTheControlTable) {
  const std::vector<SavedControl*> controls = form.PersistentControls();
  ASSERT_EQ(controls.size(), kJobControls.size());
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const ControlEntry& entry = kJobControls[i];
    SCOPED_TRACE(entry.key);
    EXPECT_EQ(controls[i]->Name(), entry.key);
    EXPECT_EQ(controls[i]->Kind(), entry.kind);
    EXPECT_EQ(&form.Control(entry.control), controls[i]);
  }
  // Each field the run reads is the edit saved under its key.
  const std::pair<JobField, const char*> keys[] = {{JobField::kYear, "edYY"},
                                                   {JobField::kMonth, "edMM"},
                                                   {JobField::kDay, "edDD"},
                                                   {JobField::kProjectName, "edKname"},
                                                   {JobField::kMemberName, "edBname"},
                                                   {JobField::kUnitWeight, "edWunit"},
                                                   {JobField::kMargin, "edYoyu"},
                                                   {JobField::kKerf, "edSiro"},
                                                   {JobField::kPriorityLength, "edLsaki"}};
  ASSERT_EQ(std::size(keys), kJobFieldCount);
  int n = 0;
  for (const auto& [field, key] : keys) {
    SCOPED_TRACE(key);
    const std::string value = " " + std::to_string(++n);
    form.SetFieldText(field, value);
    ASSERT_NE(form.Find(key), nullptr);
    EXPECT_EQ(form.Find(key)->Text(), value);
    EXPECT_EQ(form.Field(field).Text(), value);
  }
  // The handlers the table's controls carry: precision and vertical order.
  int precision_changes = 0;
  form.on_precision_change = [&] { ++precision_changes; };
  form.SetPrecisionItem(3);
  EXPECT_EQ(precision_changes, 1);
  EXPECT_EQ(form.PrecisionItem(), 3);
  FakeForm::Fill(form.CutGrid(), {"", "1200.3"});
  form.Find("CkVlist")->SetChecked(false);  // re-lays out the grids: the gap closes
  EXPECT_FALSE(form.CutGrid().Cell(1, 1).empty());
  EXPECT_TRUE(form.CutGrid().Cell(2, 1).empty());
}

// The tests' stand-in starts as the headless form does.
TEST_F(JobFileTest, FakeFormStartsAsTheHeadlessForm) {
  FakeForm fake;
  for (std::size_t f = 0; f < kJobFieldCount; ++f) {
    const auto field = static_cast<JobField>(f);
    EXPECT_EQ(fake.Field(field).Text(), form.Field(field).Text()) << f;
  }
  EXPECT_EQ(fake.precision, form.PrecisionItem());
  EXPECT_EQ(fake.vertical, form.VerticalOrder());
  for (auto [fake_grid, grid] : {std::pair<run::Grid*, run::Grid*>{&fake.stock, &form.StockGrid()},
                                 {&fake.cut, &form.CutGrid()}}) {
    EXPECT_EQ(fake_grid->ColCount(), grid->ColCount());
    EXPECT_EQ(fake_grid->RowCount(), grid->RowCount());
  }
}

TEST_F(JobFileTest, CutDiagramSwitchIsSavedAfterTheOldLines) {
  form.Find("CbMeisaiC")->SetChecked(true);
  const std::string path = Path("diagrams.zv5");
  ASSERT_TRUE(WriteJobFile(form, path));
  const std::vector<std::string> lines = base::SplitLines(ReadBytes(path));
  ASSERT_EQ(lines.size(), 58u);
  EXPECT_EQ(lines[52], "CbMeisaiA = 0");
  EXPECT_EQ(lines[53], "CbMeisaiB = 0");
  EXPECT_EQ(lines[54], "CbMeisaiC = 1");

  auto other_records = std::make_unique<optimiser::OptimiserRecords>();
  JobForm other(*other_records);
  ASSERT_TRUE(OpenJobFile(other, path));
  EXPECT_TRUE(other.TableC());
  EXPECT_FALSE(other.TableA());
  EXPECT_FALSE(other.TableB());

  // A 54-line file from before the switch loads with it clear, even over a job that had it on.
  ASSERT_TRUE(OpenJobFile(other, ZARVEL5_SOURCE_DIR "/tests/data/fresh_job.zv5"));
  EXPECT_FALSE(other.TableC());
  EXPECT_EQ(JobFileLines(other).size(), 58u);
  // A file without the form's section is refused and changes nothing.
  other.Find("CbMeisaiC")->SetChecked(true);
  WriteBytes(dir / "other.zv5", "caption\r\n[Other]\r\n");
  ASSERT_FALSE(OpenJobFile(other, Path("other.zv5")));
  EXPECT_TRUE(other.TableC());
  // A line in another section is not the job's.
  WriteBytes(dir / "elsewhere.zv5",
             "caption\r\n[FmUnit1]\r\nedSiro =   3\r\n[Other]\r\nCbMeisaiC = 1\r\n");
  ASSERT_TRUE(OpenJobFile(other, Path("elsewhere.zv5")));
  EXPECT_FALSE(other.TableC());
  // Written by hand with "CbMeisaiC = 1" and nothing else: the switch comes on.
  other.Find("CbMeisaiC")->SetChecked(false);
  WriteBytes(dir / "hand.zv5", "caption\r\n[FmUnit1]\r\nCbMeisaiC = 1\r\n");
  ASSERT_TRUE(OpenJobFile(other, Path("hand.zv5")));
  EXPECT_TRUE(other.TableC());
}

TEST_F(JobFileTest, GradeAndImportNoteComeAfterTheYardsKeysOnlyWhenKnown) {
  const std::size_t fresh = JobFileLines(form).size();
  form.yard_stock = {"L-65x65x6", {{3000, 1}}};
  form.grade = "SN490B";
  form.import_note = base::Lit("欠けた部品\nあり");  // one line on disk
  const std::string path = Path("grade.zv5");
  ASSERT_TRUE(WriteJobFile(form, path));
  const std::vector<std::string> lines = base::SplitLines(ReadBytes(path));
  ASSERT_EQ(lines.size(), fresh + 4);
  EXPECT_EQ(lines[fresh].rfind("YardSection = ", 0), 0u);
  EXPECT_EQ(lines[fresh + 2], "Grade = SN490B");
  EXPECT_EQ(lines[fresh + 3], "ImportNote = " + base::Lit("欠けた部品 あり"));

  auto other_records = std::make_unique<optimiser::OptimiserRecords>();
  JobForm other(*other_records);
  ASSERT_TRUE(OpenJobFile(other, path));
  EXPECT_EQ(other.grade, "SN490B");
  EXPECT_EQ(other.Grade(), "SN490B");
  EXPECT_EQ(other.import_note, base::Lit("欠けた部品 あり"));
  // A job without them leaves none of the last job's, and a fresh job has none.
  ASSERT_TRUE(OpenJobFile(other, ZARVEL5_SOURCE_DIR "/tests/data/fresh_job.zv5"));
  EXPECT_EQ(other.grade, "");
  EXPECT_EQ(other.import_note, "");
  other.grade = "SS400";
  ApplyFreshJob(other);
  EXPECT_EQ(other.grade, "");
  EXPECT_EQ(JobFileLines(other).size(), fresh);
}

TEST_F(JobFileTest, TheRemnantPolicyComesLastAndOnlyWhenOn) {
  const std::vector<std::string> fresh = JobFileLines(form);
  form.grade = "SS400";
  form.policy = {true, 1500};
  std::vector<std::string> lines = JobFileLines(form);
  ASSERT_EQ(lines.size(), fresh.size() + 3);
  EXPECT_EQ(lines[fresh.size()], "Grade = SS400");
  EXPECT_EQ(lines[fresh.size() + 1], "OffcutsFirst = 1");
  EXPECT_EQ(lines[fresh.size() + 2], "OffcutKeep = 1500");
  const std::string path = Path("policy.zv5");
  ASSERT_TRUE(WriteJobFile(form, path));
  auto other_records = std::make_unique<optimiser::OptimiserRecords>();
  JobForm other(*other_records);
  ASSERT_TRUE(OpenJobFile(other, path));
  EXPECT_EQ(other.Policy(), (optimiser::RemnantPolicy{true, 1500}));
  // Off, nothing is written: the file is the one it was before the policy existed.
  form.grade.clear();
  form.policy = {false, 1500};
  EXPECT_EQ(JobFileLines(form), fresh);
  // A file that says it is off, or names only a length, asks for nothing.
  for (const char* keys : {"OffcutsFirst = 0\r\nOffcutKeep = 800\r\n", "OffcutKeep = 800\r\n"}) {
    WriteBytes(dir / "hand.zv5", std::string("caption\r\n[FmUnit1]\r\n") + keys);
    ASSERT_TRUE(OpenJobFile(other, Path("hand.zv5")));
    EXPECT_EQ(other.Policy(), optimiser::RemnantPolicy{}) << keys;
  }
}

TEST_F(JobFileTest, LabelAndSawListSwitchesAndTheSheetAreSavedAndDefaultWhenMissing) {
  form.Find("CbMeisaiL")->SetChecked(true);
  form.Find("RgLabelSheet")->SetItemIndex(2);
  form.Find("CbMeisaiS")->SetChecked(true);
  *form.MarkList() = {{"G1", 2700, 1}};
  ASSERT_TRUE(WriteJobFile(form, Path("labels.zv5")));
  const std::string bytes = ReadBytes(Path("labels.zv5"));
  // After the diagrams' line, and before the marks, which stay the last section.
  EXPECT_NE(bytes.find("CbMeisaiC = 0\r\nCbMeisaiL = 1\r\nRgLabelSheet = 2\r\nCbMeisaiS = 1\r\n"
                       "[Marks]\r\n"),
            std::string::npos);
  // Read back; then a file without the keys (and one with a sheet beyond the last) over it.
  for (const auto& [file, on, sheet] :
       {std::tuple{"", true, 2},
        {"caption\r\n[FmUnit1]\r\n", false, 0},
        {"caption\r\n[FmUnit1]\r\nRgLabelSheet = 7\r\n", false, 2}}) {
    if (*file != '\0') WriteBytes(Path("labels.zv5"), file);
    JobLoad load;
    ASSERT_TRUE(OpenJobFile(form, Path("labels.zv5"), &load));
    EXPECT_EQ(form.Labels(), on) << file;
    EXPECT_EQ(form.SawList(), on) << file;
    EXPECT_EQ(form.LabelSheetItem(), sheet) << file;
    // Keys added later are never named as missing.
    for (JobControl added : {JobControl::kLabels, JobControl::kLabelSheet, JobControl::kSawList})
      EXPECT_EQ(std::count(load.missing.begin(), load.missing.end(), added), 0);
  }
}

TEST_F(JobFileTest, LoadingRestoresEveryField) {
  form.SetFieldText(JobField::kProjectName, base::Lit("Ａ棟 新築工事"));
  form.SetFieldText(JobField::kMemberName, base::Lit("梁1"));
  form.SetFieldText(JobField::kUnitWeight, "   21.30");
  form.SetFieldText(JobField::kMargin, " 15");
  form.SetFieldText(JobField::kKerf, "  2");
  form.SetFieldText(JobField::kPriorityLength, "  4500");
  form.SetFieldText(JobField::kYear, "26");
  form.StockGrid().SetCell(1, 1, " 6000. 10");
  form.StockGrid().SetCell(1, 2, " 9000.  2");
  form.CutGrid().SetCell(1, 1, " 1500.  4");
  form.CutGrid().SetCell(1, 5, "  800. 12");
  form.SetPrecisionItem(2);
  form.Find("CbMeisaiB")->SetChecked(true);
  form.Find("CkVlist")->SetChecked(false);  // re-lays out the grids row by row
  const std::string path = Path("job.zv5");
  ASSERT_TRUE(WriteJobFile(form, path));
  EXPECT_FALSE(form.DataModified());

  auto other_records = std::make_unique<optimiser::OptimiserRecords>();
  JobForm other(*other_records);
  other.SetDataModified(true);
  ASSERT_TRUE(OpenJobFile(other, path));
  EXPECT_FALSE(other.DataModified());
  std::vector<std::string> loaded = JobFileLines(other);
  std::vector<std::string> saved = JobFileLines(form);
  ASSERT_EQ(loaded.size(), saved.size());
  // An empty cell read back is a single blank, so the heading rows' first cells differ.
  for (std::size_t i : {9u, 29u}) {
    EXPECT_EQ(loaded[i], "\" \"" + saved[i]);
    loaded[i] = saved[i];
  }
  EXPECT_EQ(loaded, saved);
  EXPECT_EQ(other.PrecisionItem(), 2);
  EXPECT_FALSE(other.VerticalOrder());
  EXPECT_TRUE(other.TableB());
  EXPECT_FALSE(other.TableA());
  EXPECT_EQ(other.Field(JobField::kMargin).Text(), " 15");
  EXPECT_EQ(other.CutGrid().Cell(1, 1), "  800. 12");
  EXPECT_EQ(other.CutGrid().Cell(2, 1), " 1500.  4");
}

TEST_F(JobFileTest, ValuesAfterNameBlankEqualsBlank) {
  const std::string path = Path("hand.zv5");
  WriteBytes(path, "caption\r\n[FmUnit1]\r\nedSiro=5\r\nedYoyu =  5\r\nedLsaki = x=y\r\n");
  ASSERT_TRUE(OpenJobFile(form, path));
  EXPECT_EQ(form.Field(JobField::kKerf).Text(), "  3");
  EXPECT_EQ(form.Field(JobField::kMargin).Text(), " 5");
  EXPECT_EQ(form.Field(JobField::kPriorityLength).Text(), "x=y");
}

TEST_F(JobFileTest, DecimalIndexesRoundOnTheirDecimalValue) {
  const std::string path = Path("decimal.zv5");
  WriteBytes(path, "caption\r\n[FmUnit1]\r\nRgTryCount = 1.9\r\n");
  ASSERT_TRUE(OpenJobFile(form, path));
  EXPECT_EQ(form.PrecisionItem(), 2);  // 1.9 is 2 (高), not 1 (中)
}

TEST_F(JobFileTest, HandWrittenGridRowsAreLoadedThenTheFrameRestored) {
  const std::string path = Path("grid.zv5");
  WriteBytes(path,
             "[FmUnit1]\n"
             "Grid2 = 2\n"
             ",heading,b\n"
             "1,\"5000.2\",\"700.3\",x,800.1,,,9999.9\n");
  form.SetFieldText(JobField::kProjectName, "previous");
  JobLoad load;
  ASSERT_TRUE(OpenJobFile(form, path, &load));
  // Fields the file does not name are a fresh job's, never the previous job's.
  EXPECT_EQ(form.Field(JobField::kProjectName).Text(), base::Lit("<工事名>"));
  EXPECT_EQ(load.missing.size(), 14u);
  run::Grid& g = form.CutGrid();
  EXPECT_EQ(g.RowCount(), 18);
  EXPECT_EQ(g.ColCount(), 7);
  // Row 0 is the heading row again; row 1's cells are re-laid out sorted from the first cell,
  // down the first column (vertical order is on). The eighth value had no column.
  EXPECT_EQ(g.Cell(1, 1), "  700.  3");
  EXPECT_EQ(g.Cell(1, 2), "  800.  1");
  EXPECT_EQ(g.Cell(1, 3), " 5000.  2");
  EXPECT_EQ(g.Cell(1, 4), "");
  EXPECT_EQ(g.Cell(1, 0), base::Lit("長さ. 本数"));
  EXPECT_EQ(g.Cell(0, 17), "17");
}

std::string FirstLines(const std::string& text, int n) {
  std::size_t end = 0;
  for (int i = 0; i < n; ++i) end = text.find("\r\n", end) + 2;
  return text.substr(0, end);
}

TEST_F(JobFileTest, WhatIsNotAJobIsRefusedAndChangesNothing) {
  const std::string fresh = ReadBytes(ZARVEL5_SOURCE_DIR "/tests/data/fresh_job.zv5");
  const struct {
    const char* name;
    std::string bytes;
    bool job;
  } cases[] = {
      {"empty", "", false},
      {"text", "just some text\n", false},
      {"binary", std::string("[FmUnit1]\r\nedSiro = 9\r\n\0\x01", 24), false},
      {"bad trail byte", "[FmUnit1]\r\nedKname = A\x82\r\n", false},
      {"section in a line", "x [FmUnit1]\n", false},
      {"fresh", fresh, true},
      {"first 20 lines", FirstLines(fresh, 20), true},
      {"section only, LF", "[FmUnit1]\n", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsJobText(c.bytes), c.job) << c.name;
    const std::string path = Path("case.zv5");
    WriteBytes(path, c.bytes);
    form.SetFieldText(JobField::kKerf, " 42");
    form.SetDataModified(true);
    const FileResult r = OpenJobFile(form, path);
    EXPECT_EQ(r.Ok(), c.job) << c.name;
    EXPECT_EQ(form.DataModified(), !c.job) << c.name;
    EXPECT_EQ(form.Field(JobField::kKerf).Text(), c.job ? "  3" : " 42") << c.name;
    if (!c.job) {
      EXPECT_EQ(base::Cp932ToUtf8(r.Reason()), "仕事のファイルではありません");
    }
  }
}

TEST_F(JobFileTest, AnIncompleteJobSaysWhatItLacked) {
  WriteBytes(Path("part.zv5"), "caption\r\n[FmUnit1]\r\nedKname = A\r\nedSiro = 7\r\n");
  form.Find("CkVlist")->SetChecked(false);
  JobLoad load;
  ASSERT_TRUE(OpenJobFile(form, Path("part.zv5"), &load));
  EXPECT_TRUE(form.VerticalOrder());  // a fresh job's, not the previous one's
  ASSERT_EQ(load.missing.size(), 13u);
  EXPECT_EQ(
      base::Cp932ToUtf8(IncompleteJobMessage("/j/part.zv5", load)),
      "/j/"
      "\npart.zv5\nは一部が欠けた仕事のファイルです。\n$欠けていた項目は新しい仕事の値にしました："
      "\n部材名、単位重量、年、月、日\n素材リスト、切断リスト、素材の余裕、精度、優先素材の長さ"
      "\n縦順表示、［長さ×本数］、［１本毎］"
      "\n$上書き保存するときは、元のファイルに上書きしてよいか確かめます。");
  // A file of the first 54 lines lacks only what was added later: it is complete.
  ASSERT_TRUE(OpenJobFile(form, ZARVEL5_SOURCE_DIR "/tests/data/fresh_job.zv5", &load));
  EXPECT_TRUE(load.Complete());
}

TEST_F(JobFileTest, LineEndsOfEveryKind) {
  for (const char* eol : {"\r\n", "\n", "\r"}) {
    const std::string path = Path("eol.zv5");
    WriteBytes(path,
               std::string("x") + eol + "[FmUnit1]" + eol + "edSiro = 7" + eol + "edYoyu = 9");
    ASSERT_TRUE(OpenJobFile(form, path));
    EXPECT_EQ(form.Field(JobField::kKerf).Text(), "7");
    EXPECT_EQ(form.Field(JobField::kMargin).Text(), "9");
  }
}

TEST_F(JobFileTest, AbsurdCountsAndLinesAreBounded) {
  const std::string path = Path("absurd.zv5");
  // A count far beyond the lines that follow reads the lines there are.
  WriteBytes(path, "[FmUnit1]\nGrid1 = 2000000000\n,a,b\n1,\"6000.1\",\n");
  ASSERT_TRUE(OpenJobFile(form, path));
  EXPECT_EQ(form.StockGrid().RowCount(), 19);
  EXPECT_EQ(form.StockGrid().Cell(1, 1), " 6000.  1");
  EXPECT_EQ(form.StockGrid().Cell(1, 0), base::Lit("長さ. 本数"));

  // Negative and non-numeric counts read no rows; an overlong value is cut.
  const std::string long_line = "edKname = " + std::string(200000, 'A');
  WriteBytes(path,
             "[FmUnit1]\nGrid2 = -5\nedYoyu = 4\n" + long_line + "\nGrid1 = abc\nedSiro = 6\n");
  ASSERT_TRUE(OpenJobFile(form, path));
  EXPECT_EQ(form.Field(JobField::kMargin).Text(), "4");
  EXPECT_EQ(form.Field(JobField::kKerf).Text(), "6");
  EXPECT_EQ(form.Field(JobField::kProjectName).Text().size(), kMaxValueLength);
  EXPECT_EQ(form.StockGrid().RowCount(), 19);
  EXPECT_EQ(form.CutGrid().RowCount(), 18);
  EXPECT_EQ(base::SplitLines(std::string(base::kMaxLineLength + 10, 'x'))[0].size(),
            base::kMaxLineLength);
}

TEST_F(JobFileTest, MissingFileIsReportedAndTheGridsAreStillSetUp) {
  EXPECT_FALSE(OpenJobFile(form, Path("none.zv5")));
  EXPECT_FALSE(OpenJobFile(form, dir.string()));  // a folder is not a job
  EXPECT_EQ(base::Cp932ToUtf8(CannotReadMessage("/tmp/jobs/a.zv5")),
            "[×]/tmp/jobs/\na.zv5\nは読み込めません");
  EXPECT_EQ(base::Cp932ToUtf8(CannotWriteMessage("/tmp/jobs/a.zv5")),
            "[×]/tmp/jobs/\na.zv5\nには書き込めません");
}

TEST_F(JobFileTest, FailedSaveKeepsTheOldFile) {
  const std::string path = Path("keep.zv5");
  WriteBytes(path, "old contents");
  EXPECT_FALSE(WriteJobFile(form, Path("no/such/folder/x.zv5")));
  if (::geteuid() != 0) {  // root writes into read-only folders
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    form.SetDataModified(true);
    EXPECT_FALSE(WriteJobFile(form, path));
    EXPECT_TRUE(form.DataModified());
    fs::permissions(dir, fs::perms::owner_all);
  }
  EXPECT_EQ(ReadBytes(path), "old contents");
  // Nothing is left behind by a successful save either.
  ASSERT_TRUE(WriteJobFile(form, path));
  int files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1);
}

TEST(ChangeHistory, VersionComesFromTheSecondLine) {
  const std::string& history = base::ChangeHistoryText();
  const std::vector<std::string> lines = base::SplitLines(history);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], std::string(90, '-'));
  EXPECT_EQ(lines[1].substr(0, 10), "2025.04.01");
  EXPECT_EQ(lines.back(), std::string(90, '-'));
  EXPECT_EQ(base::VersionText(), "2025.04.01");
  // This program's own entries come below the version line and leave it as it is.
  EXPECT_GT(history.find(base::Lit("＜この版で加えたこと＞")), history.find("2025.04.01"));
  EXPECT_EQ(base::VersionFromHistory("---\n2031.12.24" + std::string(20, ' ') + "\nx"),
            "2031.12.24");
  EXPECT_EQ(base::VersionFromHistory("none"), "");
}

}  // namespace
}  // namespace zarvel::job
