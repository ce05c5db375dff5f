#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "base/cp932.h"
#include "cli/plan_command.h"
#include "cli/yard_command.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "optimiser/remnant_policy.h"
#include "session/job_session.h"
#include "session/yard_session.h"
#include "tests/temp_dir.h"

namespace zarvel::session {
namespace {

using Code = base::Error::Code;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::unique_ptr<yard::Yard> y;
    ASSERT_TRUE(OpenYardAt(yard, y));
    int64_t entry = 0;
    for (auto [length, count, offcut] : {std::tuple{6000, 4, false}, std::tuple{3000, 1, true}})
      ASSERT_TRUE(
          AddBars(*y, {"H200x100x5.5x8", length, count, offcut, "A-1", "L1", "購入", ""}, entry));
    // The same job as a file.
    auto records = std::make_unique<optimiser::OptimiserRecords>();
    job::JobForm form(*records);
    form.SetFieldText(run::JobField::kMemberName, base::Lit("H-200×100×5.5×8 小梁"));
    form.CutGrid().SetCell(1, 1, " 2990.  1");
    form.CutGrid().SetCell(2, 1, " 4000.  2");
    ASSERT_TRUE(job::WriteJobFile(form, job));
  }
  std::size_t Ledger() {
    std::unique_ptr<yard::Yard> y;
    std::vector<yard::Entry> entries;
    if (OpenYardAt(yard, y)) y->History(entries);
    return entries.size();
  }
  JobRun Run() {
    JobRun run;
    JobOptions o;
    o.job = job;
    o.from_yard = true;
    o.yard = yard;
    std::vector<std::string> notes;
    EXPECT_TRUE(OpenAndRun(o, run, notes));
    return run;
  }

  testing::TempDir temp{"zarvel5-session"};
  std::string yard = temp.File("yard.sqlite");
  std::string job = temp.File("job.zv5");
};

// The command functions refuse what the window refuses: a plan committed twice, a plan older
// than its job, a plan whose bars were taken meanwhile; a change elsewhere in the yard is not
// one of them. Every refusal leaves the ledger as it was.
TEST_F(SessionTest, ACommitIsOfTheJobAsItStandsAndHappensOnce) {
  JobRun run = Run();
  ASSERT_TRUE(run.plan.planned);
  EXPECT_EQ(run.plan.basis.yard_revision, 2);  // the two additions
  int64_t entry = 0;
  ASSERT_TRUE(CommitRun(run, 1000, entry));
  const std::size_t committed = Ledger();
  int64_t again = 0;
  EXPECT_EQ(CommitRun(run, 1000, again).code, Code::kCommitted);
  EXPECT_EQ(Ledger(), committed);
  // Undone, it may be committed again; after an edit of the cut list it may not.
  std::unique_ptr<yard::Yard> y;
  ASSERT_TRUE(OpenYardAt(yard, y));
  int64_t undo = 0;
  ASSERT_TRUE(UndoCommit(*y, entry, &run.plan, undo));
  run.form->CutGrid().SetCell(1, 1, " 2000.  1");
  const base::Error outdated = CommitRun(run, 1000, again);
  EXPECT_EQ(outdated.code, Code::kOutdated);
  EXPECT_NE(outdated.message.find("古い"), std::string::npos);
  run.form->CutGrid().SetCell(1, 1, " 2990.  1");  // as it was: the plan is current again
  // Another section's bars added: the yard's revision moved, the plan's bars are all there.
  ASSERT_TRUE(AddBars(*y, {"L-65x65x6", 5500, 3, false, "", "", "購入", ""}, again));
  ASSERT_TRUE(CommitRun(run, 1000, entry));
  EXPECT_GT(entry, undo);
  // A new run whose bars are taken before its commit: "在庫が変わりました".
  ASSERT_TRUE(AddBars(*y, {"H200x100x5.5x8", 6000, 4, false, "", "", "購入", ""}, again));
  JobRun second = Run();
  std::vector<yard::Item> items;
  ASSERT_TRUE(y->List("H-200x100x5.5x8", items));
  for (const yard::Item& i : items) {
    if (i.count > 0) {
      ASSERT_TRUE(TakeBars(*y, i.id, 1, again));
    }
  }
  const std::size_t before = Ledger();
  const base::Error changed = CommitRun(second, 1000, again);
  EXPECT_EQ(changed.code, Code::kYardChanged);
  EXPECT_EQ(Ledger(), before);
}

// A plan made with the remnant policy puts back exactly the remnants it kept, whatever keep
// length the commit is asked for.
TEST_F(SessionTest, APolicyPlanCommitsExactlyTheOffcutsItKept) {
  JobRun run;
  JobOptions o;
  o.job = job;
  o.from_yard = true;
  o.yard = yard;
  o.precision = 3;
  o.policy = {true, 1500};
  std::vector<std::string> notes;
  ASSERT_TRUE(OpenAndRun(o, run, notes));
  const optimiser::PolicyFigures figures = optimiser::PolicyOf(*run.records);
  EXPECT_EQ(figures.mill, 12000);  // the offcut in hand takes the short piece
  EXPECT_EQ(figures.in_hand, 3000);
  int64_t entry = 0;
  ASSERT_TRUE(CommitRun(run, 99999, entry));
  std::unique_ptr<yard::Yard> y;
  ASSERT_TRUE(OpenYardAt(yard, y));
  std::vector<yard::Item> items;
  ASSERT_TRUE(y->List("H-200x100x5.5x8", items));
  std::vector<optimiser::StockBarsUsed> added;
  for (const yard::Item& i : items)
    if (i.source.rfind("残材", 0) == 0) added.push_back({i.length, i.count});
  std::sort(added.begin(), added.end(),
            [](const auto& a, const auto& b) { return a.length > b.length; });
  EXPECT_EQ(added, figures.kept);
  EXPECT_FALSE(added.empty());
}

// The same through the plan command: a distinct JSON status and exit code for each refusal.
TEST_F(SessionTest, ThePlanCommandTellsEachRefusalApart) {
  std::ostringstream out, err;
  ASSERT_EQ(
      cli::RunPlanCommand({job, "--from-yard", "--yard", yard, "--commit", "--json"}, out, err),
      cli::kExitPlanned)
      << err.str();
  EXPECT_NE(out.str().find("\"commit\": 3"), std::string::npos) << out.str();
  // Every bar of the job is gone now: nothing to plan with, or nothing left to commit.
  out.str("");
  err.str("");
  const int code =
      cli::RunPlanCommand({job, "--from-yard", "--yard", yard, "--commit", "--json"}, out, err);
  EXPECT_EQ(code, cli::kExitRunMessage);
  EXPECT_EQ(out.str().rfind("{\"status\": \"", 0), 0u) << out.str();
  EXPECT_EQ(Ledger(), 3u);
  // A yard file that is not a yard: the JSON object, its own status, exit 2.
  const std::string foreign = temp.File("foreign.sqlite");
  testing::WriteBytes(foreign, std::string(4096, 'x'));
  out.str("");
  err.str("");
  EXPECT_EQ(cli::RunPlanCommand({job, "--from-yard", "--yard", foreign, "--json"}, out, err),
            cli::kExitUsage);
  EXPECT_EQ(out.str().rfind("{\"status\": \"yard-damaged\", \"message\": ", 0), 0u) << out.str();
}

TEST(JobContentTest, EveryValueTheRunReadsAndNothingElse) {
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  form.StockGrid().SetCell(1, 1, "6000.5");
  form.CutGrid().SetCell(1, 1, "2000.3");
  const std::string before = JobContent(form, form.yard_stock);
  EXPECT_EQ(form.StockGrid().Cell(1, 1), "6000.5");  // read from a copy: the form as it was
  // The same lists laid out otherwise are the same job.
  form.CutGrid().SetCell(1, 1, "");
  form.CutGrid().SetCell(3, 2, " 2000.  3");
  EXPECT_EQ(JobContent(form, form.yard_stock), before);
  // A heading is not what a plan is made from; a condition is.
  form.SetFieldText(run::JobField::kProjectName, base::Lit("北町"));
  EXPECT_EQ(JobContent(form, form.yard_stock), before);
  for (run::JobField f :
       {run::JobField::kMargin, run::JobField::kKerf, run::JobField::kPriorityLength}) {
    const std::string was = form.Field(f).Text();
    form.SetFieldText(f, "7");
    EXPECT_NE(JobContent(form, form.yard_stock), before);
    form.SetFieldText(f, was);
  }
  EXPECT_EQ(JobContent(form, form.yard_stock), before);
  form.SetPrecisionItem(3);
  EXPECT_NE(JobContent(form, form.yard_stock), before);
  form.SetPrecisionItem(2);
  form.yard_stock = {base::Lit("H-200×100×5.5×8"), {{6000, 1}}};
  EXPECT_NE(JobContent(form, form.yard_stock), before);
}

}  // namespace
}  // namespace zarvel::session
