// Saves interrupted at random moments, saves that cannot complete, odd bytes in job files and
// absurd jobs: the old file survives, nothing crashes, every run ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <thread>

#include "base/cp932.h"
#include "base/lines.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "job/profile.h"
#include "job/recent_files.h"
#include "optimiser/search.h"
#include "run/run_command.h"
#include "tests/fakes.h"
#include "tests/sanitizers.h"
#include "tests/temp_dir.h"

namespace zarvel::job {
namespace {

using testing::ReadBytes;

// The bytes WriteJobFile gives for a form whose project name is `name`.
std::string JobBytes(JobForm& form, const std::string& name) {
  form.SetFieldText(run::JobField::kProjectName, name);
  std::string data;
  for (const std::string& l : JobFileLines(form)) data += l + "\r\n";
  return data;
}

TEST(InterruptedSaves, TargetIsAlwaysTheOldOrTheNewFile) {
  testing::TempDir dir("zarvel5-kill");
  const std::string path = dir.File("job.zv5");
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  JobForm form(*records);
  const std::string old_bytes = JobBytes(form, "old");
  const std::string new_bytes = JobBytes(form, std::string(3000, 'n'));  // a longer file
  std::mt19937 rng(7);
  int kills = 0, old_seen = 0, new_seen = 0;
  for (int i = 0; i < 1000; ++i) {
    std::ofstream(path, std::ios::binary) << old_bytes;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      form.SetFieldText(run::JobField::kProjectName, std::string(3000, 'n'));
      while (true) WriteJobFile(form, path);  // until killed
    }
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ++kills;
    const std::string now = ReadBytes(path);
    ASSERT_TRUE(now == old_bytes || now == new_bytes) << "after kill " << i;
    (now == old_bytes ? old_seen : new_seen)++;
  }
  EXPECT_EQ(kills, 1000);
  EXPECT_GT(new_seen, 0);  // the kills did land on both sides of the rename
  EXPECT_GT(old_seen, 0);
  // Temporary files of interrupted saves may remain until the next save that completes.
  ASSERT_TRUE(WriteJobFile(form, path));
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
}

// Runs `body` in a child process and returns its exit status.
template <typename Body>
int InChild(Body body) {
  const pid_t child = fork();
  if (child == 0) _exit(body());
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST(FailedSaves, FullDiskAndReadOnlyFolderKeepTheOldFiles) {
  testing::TempDir dir("zarvel5-full");
  const std::string job = dir.File("job.zv5");
  const std::string ini = dir.File("settings.ini");
  const std::string list = dir.File("ReOpen1");
  std::ofstream(job) << "old job";
  std::ofstream(ini) << "[Zarvel]\r\nLastFile=/old.zv5\r\n";
  std::ofstream(list) << job << "\r\n";

  // A file size limit stands in for a full disk: every write beyond 100 bytes fails.
  const int full = InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    auto records = std::make_unique<optimiser::OptimiserRecords>();
    JobForm form(*records);
    form.SetDataModified(true);
    const bool saved = WriteJobFile(form, job).Ok();
    const bool settings = WriteProfileString(ini, "Zarvel", "LastFile", std::string(500, 'x'));
    RecentFiles recent(list);
    recent.Load();
    for (int i = 0; i < 20; ++i) recent.Update(job);
    return (!saved && form.DataModified() && !settings) ? 0 : 1;
  });
  EXPECT_EQ(full, 0);
  EXPECT_EQ(ReadBytes(job), "old job");
  EXPECT_EQ(ReadProfileString(ini, "Zarvel", "LastFile", ""), "/old.zv5");
  EXPECT_EQ(ReadBytes(list), job + "\r\n");

  // A folder the user may not write to (as an unprivileged user: root writes anywhere).
  const std::string locked = dir.File("locked");
  mkdir(locked.c_str(), 0755);
  std::ofstream(locked + "/job.zv5") << "old job";
  chmod(locked.c_str(), 0555);
  const int readonly = InChild([&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
    auto records = std::make_unique<optimiser::OptimiserRecords>();
    JobForm form(*records);
    return WriteJobFile(form, locked + "/job.zv5") ? 1 : 0;
  });
  EXPECT_EQ(readonly, 0);
  EXPECT_EQ(ReadBytes(locked + "/job.zv5"), "old job");
  chmod(locked.c_str(), 0755);
}

// The peak resident memory (KB) of a child that loads `path` into a fresh form, or -1; the
// child also checks that the cut grid came out at its fixed size.
long PeakLoadingKilobytes(const std::string& path) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    auto records = std::make_unique<optimiser::OptimiserRecords>();
    JobForm form(*records);
    const bool loaded = OpenJobFile(form, path).Ok() && form.CutGrid().RowCount() == 18;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long kb = loaded ? usage.ru_maxrss : -1;
    _exit(write(pipe_fds[1], &kb, sizeof kb) == sizeof kb ? 0 : 1);
  }
  close(pipe_fds[1]);
  long kb = -1;
  if (read(pipe_fds[0], &kb, sizeof kb) != sizeof kb) kb = -1;
  close(pipe_fds[0]);
  waitpid(child, nullptr, 0);
  return kb;
}

TEST(HostileFiles, NoCountInAFileSizesMemory) {
  testing::TempDir dir("zarvel5-hostile");
  const std::string path = dir.File("hostile.zv5");
  const std::string head = "[FmUnit1]\nGrid2 = 99999999\n";
  {
    // Sixteen megabytes of empty lines, the most a job file may hold: millions of grid rows.
    std::ofstream out(path, std::ios::binary);
    out << head << std::string(kMaxJobFileSize - head.size(), '\n');
  }
  // The same child loading a job of the usual size: what the process needs anyway (much more
  // under the sanitizers, which keep freed memory for a while).
  const std::string usual = dir.File("usual.zv5");
  std::ofstream(usual, std::ios::binary) << head << "\n";
  const long base = PeakLoadingKilobytes(usual);
  const long kb = PeakLoadingKilobytes(path);
  ASSERT_GT(base, 0);
  ASSERT_GT(kb, 0);
  // The sanitizers' quarantine of freed blocks adds to the growth it measures.
  constexpr long kGrowthLimit = (ZARVEL5_SANITIZED ? 200 : 100) * 1024;
  EXPECT_LT(kb - base, kGrowthLimit) << "peak " << kb << " KB";
  if (!ZARVEL5_SANITIZED) {
    EXPECT_LT(kb, 100 * 1024) << "peak " << kb << " KB";
  }
  std::cout << "peak while loading " << kMaxJobFileSize << " bytes of grid rows: " << kb
            << " KB (a usual job: " << base << " KB)\n";
  // Rows of commas: each row splits into tens of thousands of values, the grid keeps 18.
  {
    std::ofstream out(path, std::ios::binary);
    out << head;
    const std::string row = std::string(base::kMaxLineLength - 1, ',') + "\n";
    for (std::size_t n = head.size(); n + row.size() <= kMaxJobFileSize; n += row.size())
      out << row;
  }
  const long commas = PeakLoadingKilobytes(path);
  ASSERT_GT(commas, 0);
  EXPECT_LT(commas - base, kGrowthLimit) << "peak " << commas << " KB";
}

TEST(OddBytes, JobFilesThatAreNotCleanCp932) {
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  JobForm form(*records);
  // A lone lead byte, bytes that are no CP932 at all, a NUL, and a file that is really UTF-8.
  const std::string odd = std::string("[FmUnit1]\r\nedKname = A\x82\r\nedBname = \xA0\xFD") +
                          std::string(1, '\0') + "x\r\n";
  LoadJobText(form, &odd);
  EXPECT_NE(base::Cp932ToUtf8(form.Field(run::JobField::kProjectName).Text()).find("\xEF\xBF\xBD"),
            std::string::npos);
  const std::string utf8 =
      "[FmUnit1]\r\nedKname = 北町物流センター\r\nGrid1 = 2\r\n,\r\n1,\"6000.２\"\r\n";
  LoadJobText(form, &utf8);
  EXPECT_FALSE(form.Field(run::JobField::kProjectName).Text().empty());
  EXPECT_EQ(form.StockGrid().Cell(1, 1), " 6000.  1");  // the full-width 2 in UTF-8 is not read
}

using run::RunOutcome;

struct JobRun {
  RunOutcome outcome;
  bool work_limit_reached;
  testing::FakeHost host;
  std::vector<optimiser::StockBarsUsed> shortage;
};

JobRun RunJob(const std::vector<std::string>& stock, const std::vector<std::string>& cut,
              const char* margin = " 20", const char* kerf = "  3") {
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  testing::FakeForm form;
  form.precision = 2;
  testing::FakeForm::Fill(form.stock, stock);
  testing::FakeForm::Fill(form.cut, cut);
  form.Set(run::JobField::kMargin, margin);
  form.Set(run::JobField::kKerf, kerf);
  JobRun run{};
  run.outcome = run::RunCommand(*records, form, run.host.Host(), true);
  run.work_limit_reached = records->work_limit_reached;
  run.shortage = records->shortage;
  return run;
}

TEST(AbsurdJobs, EndWithAPlanOrAMessage) {
  // Pieces of 2 mm on bars of 6 000 000 mm: a million to one bar, so the second attempt takes
  // more than the limit of an attempt; the first one's plan is kept, and the run says so.
  JobRun tiny = RunJob({"6000000.5"}, {"2.999999"});
  EXPECT_EQ(tiny.outcome, RunOutcome::kPlanned);
  EXPECT_TRUE(tiny.work_limit_reached);
  ASSERT_EQ(tiny.host.messages.size(), 1u);
  EXPECT_EQ(base::Cp932ToUtf8(tiny.host.messages[0]),
            "計算量の上限に達したため、1回目の試行までで打ち切りました。\n"
            "$それまでで最良の計画を表示します。");
  // The label: how far the search got (attempt 1 of 500 is 0 %) and why it stopped.
  const std::string label = base::Cp932ToUtf8(tiny.host.progress.back());
  EXPECT_EQ(label.substr(0, 5), "(  0)");
  EXPECT_EQ(label.substr(label.find('\n')), "\n計算量の上限で打ち切り");
  ASSERT_EQ(tiny.host.preview_captions.size(), 1u);  // the plan is shown after the note
  // 999 999 pieces of one length: plenty of identical bars, planned at once.
  EXPECT_EQ(RunJob({"6000.999999"}, {"1000.999999"}).outcome, RunOutcome::kPlanned);
  // A margin of 999 with pieces of 8 mm: 636 to a bar.
  JobRun margin = RunJob({"6000.9999"}, {"8.99999"}, "999");
  EXPECT_EQ(margin.outcome, RunOutcome::kPlanned);
  // 1500 pieces of 8 mm on 12 m bars: 1093 to a bar, planned in a moment and never refused.
  JobRun many = RunJob({"12000.10"}, {"8.1500"});
  EXPECT_EQ(many.outcome, RunOutcome::kPlanned);
  EXPECT_FALSE(many.work_limit_reached);
  EXPECT_TRUE(many.host.messages.empty());
  // A negative kerf or margin would let pieces overlap: refused before any search, each named.
  JobRun negative = RunJob({"2.1"}, {"2.999999"}, "999", " -3");
  EXPECT_EQ(negative.outcome, RunOutcome::kNegativeCondition);
  EXPECT_TRUE(negative.host.progress.empty());
  EXPECT_EQ(RunJob({"6000.1"}, {"2000.2"}, "-20", " -1").host.messages,
            std::vector<std::string>{
                base::Lit("[#×]素材の余裕が負の値 (-20 ㎜) です。\n切り代が負の値 "
                          "(-1 ㎜) です。\n$切断材が重なるため、0 以上にして下さい。")});
  // Tens of millions of pieces to one bar: one fill alone is beyond the search, refused at once.
  JobRun refused = RunJob({"2000000000.1"}, {"2.99999999"}, "0", "0");
  EXPECT_EQ(refused.outcome, RunOutcome::kTooLarge);
  ASSERT_EQ(refused.host.messages.size(), 1u);
  EXPECT_EQ(base::Cp932ToUtf8(refused.host.messages[0]),
            "[#×]1本の素材から切り出す切断材が多すぎます。");
  EXPECT_TRUE(refused.host.progress.empty());  // no search ran
  // Not enough stock for a million pieces (six to a bar): the usual message and what to add.
  const JobRun million = RunJob({"6000.10"}, {"1000.999999"});
  EXPECT_EQ(million.outcome, RunOutcome::kShort);
  EXPECT_EQ(million.shortage, (std::vector<optimiser::StockBarsUsed>{{6000, 166667 - 10}}));
}

TEST(AbsurdJobs, PiecesPerBarIsExactAndTheRefusalNotOffByOne) {
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  records->stock.Append(1000, 10);
  records->cut.Append(10, 500);
  // 100 pieces of 10 mm fill 1000 mm exactly; a 101st does not fit.
  EXPECT_EQ(optimiser::PiecesPerBarBound(*records), 100);
  records->conditions.margin = 9;
  EXPECT_EQ(optimiser::PiecesPerBarBound(*records), 100);
  records->conditions.margin = 10;
  EXPECT_EQ(optimiser::PiecesPerBarBound(*records), 101);
  records->conditions.kerf = 1;  // 11 mm a piece in 1010 mm and the last kerf: 91
  EXPECT_EQ(optimiser::PiecesPerBarBound(*records), 91);
  // A fill of 91 pieces counts 93 draws: a budget of 93 takes it, 92 does not.
  EXPECT_TRUE(optimiser::WithinSearchLimits(*records, 93));
  EXPECT_FALSE(optimiser::WithinSearchLimits(*records, 92));
  // The fill itself agrees with the bound.
  records->random.Seed(0);
  ASSERT_EQ(optimiser::RunSearch(*records, {}, 10), optimiser::kSearchPlanned);
  EXPECT_EQ(records->best.patterns[1].piece_counts[1], 91);
}

TEST(AbsurdJobs, WorkBudgetStopsTheSearchKeepingTheBestPlan) {
  auto make = [] {
    auto r = std::make_unique<optimiser::OptimiserRecords>();
    r->stock.Append(6000, 50);
    for (int j = 0; j < 20; ++j) r->cut.Append(300 + 37 * j, 9);
    r->conditions.margin = 20;
    r->conditions.kerf = 3;
    r->random.Seed(0);
    return r;
  };
  auto full = make();
  int64_t work = 0;
  ASSERT_EQ(optimiser::RunSearch(*full, {}, 100, INT64_MAX, &work), optimiser::kSearchPlanned);
  auto cut_short = make();
  int64_t spent = 0;
  ASSERT_EQ(optimiser::RunSearch(*cut_short, {}, 100, work / 3, &spent), optimiser::kSearchPlanned);
  EXPECT_LT(spent, work);
  EXPECT_GE(cut_short->best.loss_rate, full->best.loss_rate);
  auto none = make();
  EXPECT_EQ(optimiser::RunSearch(*none, {}, 100, 10), optimiser::kSearchTooLarge);
}

}  // namespace
}  // namespace zarvel::job
