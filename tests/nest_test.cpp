#include "session/nest.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <tuple>

#include "base/cp932.h"
#include "base/format.h"
#include "cli/nest_command.h"
#include "drawing/pages.h"
#include "drawing/playback.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "report/report.h"
#include "session/order.h"
#include "session/yard_session.h"
#include "tests/fakes.h"
#include "tests/temp_dir.h"

namespace zarvel::session {
namespace {

// A job of `lengths` piece lengths drawn from `seed` (1 to 4 pieces each, every second length
// with a mark), on bars of 6000 and 9000 mm.
struct DrawnJob {
  const char* member;
  int lengths;
  unsigned seed;
  const char* kerf = "3";
  int offset = 0;  // lengths ≡ offset (mod 3): jobs of other offsets share none
  const char* stock[2] = {" 6000.200", " 9000.100"};
};

std::string WriteJob(testing::TempDir& temp, const std::string& name, const DrawnJob& drawn) {
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  form.SetFieldText(run::JobField::kMemberName, base::Utf8ToCp932(drawn.member));
  form.SetFieldText(run::JobField::kKerf, drawn.kerf);
  form.SetPrecisionItem(2);
  for (int k = 0; k < 2; ++k) form.StockGrid().SetCell(k + 1, 1, drawn.stock[k]);
  unsigned x = drawn.seed;
  std::map<int, int> cut;
  while (static_cast<int>(cut.size()) < drawn.lengths) {
    x = x * 1103515245u + 12345u;
    cut[500 + 3 * static_cast<int>((x >> 8) % 1200) + drawn.offset] =
        1 + static_cast<int>((x >> 4) % 4);
  }
  int cell = 0;
  for (const auto& [length, count] : cut) {
    form.CutGrid().SetCell(cell % 6 + 1, cell / 6 + 1, base::Format("%5d.%3d", length, count));
    if (cell % 2 == 0) form.MarkList()->push_back({base::Format("M%d", cell), length, count});
    ++cell;
  }
  const std::string path = temp.File(name);
  EXPECT_TRUE(job::WriteJobFile(form, path));
  return path;
}

// Pieces per (job, length, mark): what the jobs ask for, and what a plan gives them.
using Demand = std::map<std::tuple<std::size_t, int32_t, std::string>, long long>;

Demand JobDemand(std::size_t index, const std::string& path) {
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  EXPECT_TRUE(job::OpenJobFile(form, path));
  Demand d;
  for (int c = 1; c <= 6; ++c)
    for (int r = 1; r <= 17; ++r) {
      int length = 0, count = 0;
      if (std::sscanf(form.CutGrid().Cell(c, r).c_str(), "%d.%d", &length, &count) == 2)
        d[{index, length, ""}] += count;
    }
  for (const optimiser::PieceMark& m : form.Marks()) {
    d[{index, m.length, ""}] -= m.count;
    d[{index, m.length, m.mark}] += m.count;
  }
  std::erase_if(d, [](const auto& e) { return e.second == 0; });
  return d;
}

double PlannedAlone(const std::string& path) {
  JobRun run;
  JobOptions o;
  o.job = path;
  std::vector<std::string> notes;
  EXPECT_TRUE(OpenAndRun(o, run, notes)) << path;
  return run.records->best.stock_length;
}

// The first report page's text, read in drawing order (characters are drawn one by one),
// blanks left out.
std::string FirstPageText(const JobRun& run, std::vector<std::string> jobs) {
  report::ReportOptions options;
  options.jobs = std::move(jobs);
  int pages = 0;
  RecordPages(run, options, pages);
  std::string text;
  for (const std::string& c : drawing::DescribePage(1 + drawing::kFirstReportSlot)) {
    const std::size_t quote = c.find('"');
    if (c.rfind("text ", 0) == 0 && quote != std::string::npos && c.size() > quote + 1)
      text += base::Cp932ToUtf8(c.substr(quote + 1, c.size() - quote - 2));
  }
  std::erase(text, ' ');
  return text;
}

// Three members of one section, 230 lengths in all: more than one job's grid holds.
std::vector<std::string> ThreeMembers(testing::TempDir& temp) {
  return {WriteJob(temp, "a.zv5", {"大梁 H-200×100×5.5×8", 77, 1, "3", 0}),
          WriteJob(temp, "b.zv5", {"小梁 H200x100x5.5x8", 77, 2, "3", 1}),
          WriteJob(temp, "c.zv5", {"H-200x100x5.5x8 間柱", 76, 3, "3", 2})};
}

TEST(Nest, JobsOfOneSectionShareBarsAndEveryPieceKeepsItsJobAndMark) {
  testing::TempDir temp("zarvel5-nest");
  const std::vector<std::string> jobs = ThreeMembers(temp);
  NestOptions o;
  o.jobs = jobs;
  const Nest nest = BuildNest(o);
  ASSERT_EQ(nest.ExitCode(), 0);
  ASSERT_EQ(nest.groups.size(), 1u);
  const NestGroup& g = nest.groups[0];
  ASSERT_TRUE(g.Planned()) << g.message;
  EXPECT_EQ(g.jobs, (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(g.lengths, 230);
  EXPECT_EQ(g.run.records->cut.count, 230);
  // The summary page holds the cut grid a job's page holds, the rest counted, and the totals;
  // then the group's jobs by member name.
  const std::string first_page = FirstPageText(g.run, GroupMembers(nest, g));
  EXPECT_NE(first_page.find("ほか129種類"), std::string::npos) << first_page;
  const std::size_t totals = first_page.find("素材延長");
  ASSERT_NE(totals, std::string::npos);
  const std::size_t listed = first_page.find("まとめた仕事（3件）：");
  ASSERT_NE(listed, std::string::npos) << first_page;
  EXPECT_LT(totals, listed);
  std::size_t at = listed;
  for (const char* member : {"大梁H-200×100×5.5×8", "小梁H200x100x5.5x8", "H-200x100x5.5x8間柱"}) {
    const std::size_t next = first_page.find(member, at);
    ASSERT_NE(next, std::string::npos) << member << " in " << first_page;
    at = next;
  }
  // Without the list (a job alone), the page ends where it did.
  const std::string alone_page = FirstPageText(g.run, {});
  EXPECT_EQ(alone_page.find("まとめた仕事"), std::string::npos);
  EXPECT_EQ(alone_page, first_page.substr(0, listed));
  Demand want, got;
  for (std::size_t i = 0; i < jobs.size(); ++i) want.merge(JobDemand(i, jobs[i]));
  double stock = 0;
  for (const NestBar& bar : NestBars(g)) {
    stock += bar.stock_length;
    for (const NestPiece& p : bar.pieces) ++got[{p.job, p.length, p.mark}];
  }
  EXPECT_EQ(got, want);
  EXPECT_DOUBLE_EQ(stock, g.run.records->best.stock_length);
  double alone = 0;
  for (const std::string& j : jobs) alone += PlannedAlone(j);
  EXPECT_LE(stock, alone);
  // The pages name each piece by its job's member and mark.
  EXPECT_EQ(g.run.records->marks.front().mark, base::Utf8ToCp932("大梁 H-200×100×5.5×8 M0"));
}

// Grouped without planning (what the window shows first): the group's sizes, nothing planned.
TEST(Nest, GroupsWithoutPlanningGiveTheSameSizes) {
  testing::TempDir temp("zarvel5-nest");
  NestOptions o;
  o.jobs = ThreeMembers(temp);
  o.plan = false;
  const Nest read = BuildNest(o);
  ASSERT_EQ(read.groups.size(), 1u);
  EXPECT_FALSE(read.groups[0].Planned());
  EXPECT_EQ(read.groups[0].lengths, 230);
  long long pieces = 0;
  for (const NestJob& j : read.jobs) pieces += j.pieces;
  EXPECT_EQ(read.groups[0].pieces, pieces);
  o.plan = true;
  o.precision = 0;
  const Nest planned = BuildNest(o);
  ASSERT_TRUE(planned.groups[0].Planned());
  EXPECT_EQ(planned.groups[0].pieces, pieces);
  EXPECT_EQ(planned.groups[0].lengths, 230);
}

// The window's host: each group's search shows its progress, and Shift held ends it early,
// the group still planned with every piece of every job.
TEST(Nest, ShiftEndsEachGroupsSearchEarlyAndTheLabelShowsItsProgress) {
  testing::TempDir temp("zarvel5-nest");
  const std::vector<std::string> jobs = {
      WriteJob(temp, "a.zv5", {"大梁 H-200×100×5.5×8", 30, 1, "3", 0}),
      WriteJob(temp, "b.zv5", {"小梁 H200x100x5.5x8", 30, 2, "3", 1}),
      WriteJob(temp, "c.zv5", {"柱 □-100×100×6", 30, 3, "3", 2})};
  auto run = [&](bool shift, testing::FakeHost& host) {
    if (shift) host.keys_down.insert(optimiser::kKeyShift);
    NestOptions o;
    o.jobs = jobs;
    o.precision = 2;  // 高
    o.search = {&host, &host, &host};
    return BuildNest(o);
  };
  testing::FakeHost free_host, shift_host;
  const Nest full = run(false, free_host);
  const Nest stopped = run(true, shift_host);
  ASSERT_EQ(stopped.groups.size(), 2u);
  ASSERT_EQ(full.groups.size(), 2u);
  EXPECT_FALSE(shift_host.progress.empty());
  for (std::size_t k = 0; k < stopped.groups.size(); ++k) {
    const NestGroup& g = stopped.groups[k];
    ASSERT_TRUE(g.Planned()) << g.message;
    EXPECT_LT(g.run.records->attempts_made, full.groups[k].run.records->attempts_made) << g.name;
    Demand want, got;
    for (const std::size_t j : g.jobs) want.merge(JobDemand(j, jobs[j]));
    for (const NestBar& bar : NestBars(g))
      for (const NestPiece& p : bar.pieces) ++got[{p.job, p.length, p.mark}];
    EXPECT_EQ(got, want) << g.name;
  }
}

// A group whose jobs cut with different kerfs is refused, naming both; the other section plans;
// an unreadable job is named and left out; a job named twice is planned once.
TEST(Nest, RefusesAGroupThatDisagreesAndPlansTheRest) {
  testing::TempDir temp("zarvel5-nest-refused");
  const std::string a = WriteJob(temp, "a.zv5", {"大梁 H-200×100×5.5×8", 10, 1});
  const std::string b = WriteJob(temp, "b.zv5", {"小梁 H-200×100×5.5×8", 10, 2, "5"});
  const std::string c = WriteJob(temp, "c.zv5", {"L-65×65×6", 10, 3});
  const std::string bad = temp.File("bad.zv5");
  testing::WriteBytes(bad, "not a job");
  NestOptions o;
  o.jobs = {a, b, c, bad, temp.path().string() + "/./c.zv5"};
  const Nest nest = BuildNest(o);
  EXPECT_EQ(nest.ExitCode(), 1);
  ASSERT_EQ(nest.groups.size(), 2u);
  const NestGroup& h = nest.groups[0];
  EXPECT_TRUE(h.refused);
  EXPECT_NE(h.message.find("切り代"), std::string::npos) << h.message;
  EXPECT_NE(h.message.find("a.zv5 3 mm"), std::string::npos) << h.message;
  EXPECT_NE(h.message.find("b.zv5 5 mm"), std::string::npos) << h.message;
  const NestGroup& l = nest.groups[1];
  EXPECT_TRUE(l.Planned()) << l.message;
  EXPECT_EQ(l.jobs, std::vector<std::size_t>{2});
  EXPECT_TRUE(nest.jobs[3].unreadable);
  EXPECT_NE(nest.jobs[3].message.find("bad.zv5"), std::string::npos);
  EXPECT_TRUE(nest.jobs[4].duplicate);
}

// Jobs asking 最適 for different remnant policies are refused together, each named.
TEST(Nest, RefusesJobsThatAskForDifferentRemnantPolicies) {
  testing::TempDir temp("zarvel5-nest-policy");
  const std::string a = WriteJob(temp, "a.zv5", {"大梁 H-200×100×5.5×8", 5, 1});
  const std::string b = temp.File("b.zv5");
  {
    auto records = std::make_unique<optimiser::OptimiserRecords>();
    job::JobForm form(*records);
    ASSERT_TRUE(job::OpenJobFile(form, WriteJob(temp, "b0.zv5", {"小梁 H-200×100×5.5×8", 5, 2})));
    form.policy = {true, 1500};
    ASSERT_TRUE(job::WriteJobFile(form, b));
  }
  NestOptions o;
  o.jobs = {a, b};
  const Nest nest = BuildNest(o);
  ASSERT_EQ(nest.groups.size(), 1u);
  EXPECT_TRUE(nest.groups[0].refused);
  EXPECT_NE(nest.groups[0].message.find("a.zv5 端材優先なし、b.zv5 端材優先 1500 mm"),
            std::string::npos)
      << nest.groups[0].message;
}

// Two groups from the yard are committed in one entry, and its undo brings both back.
TEST(Nest, CommitsEveryGroupInOneEntryThatUndoesTogether) {
  testing::TempDir temp("zarvel5-nest-commit");
  const std::string place = temp.File("yard.sqlite");
  std::unique_ptr<yard::Yard> y;
  ASSERT_TRUE(OpenYardAt(place, y));
  int64_t entry = 0;
  for (const char* section : {"H-200×100×5.5×8", "L-65×65×6"})
    ASSERT_TRUE(AddBars(*y, {section, 9000, 40, false, "", "", "購入", ""}, entry));
  std::vector<yard::Item> before;
  ASSERT_TRUE(y->List("", before));
  y.reset();
  NestOptions o;
  o.jobs = {WriteJob(temp, "a.zv5", {"大梁 H-200×100×5.5×8", 8, 1}),
            WriteJob(temp, "b.zv5", {"L65x65x6", 8, 2})};
  o.from_yard = true;
  o.yard = place;
  Nest nest = BuildNest(o);
  ASSERT_EQ(nest.ExitCode(), 0) << nest.groups[0].message;
  ASSERT_EQ(nest.groups.size(), 2u);
  int64_t commit = 0;
  ASSERT_TRUE(CommitNest(nest, 1000, commit));
  std::vector<yard::Item> after;
  ASSERT_TRUE(nest.yard->List("", after));
  long long taken = 0;
  for (const std::string section : {"H-200×100×5.5×8", "L-65×65×6"}) {
    long long bars = 0;
    for (const yard::Item& i : after)
      if (i.section == section && !i.offcut) bars += i.count;
    EXPECT_LT(bars, 40) << section;
    taken += 40 - bars;
  }
  long long planned = 0;
  for (const NestGroup& g : nest.groups)
    for (int p = 1; p <= g.run.records->best.pattern_count; ++p)
      planned += g.run.records->best.patterns[p].repeat_count;
  EXPECT_EQ(taken, planned);
  // Committed once: a second commit of the same plans is refused and changes nothing.
  int64_t again = 0;
  EXPECT_FALSE(CommitNest(nest, 1000, again));
  int64_t undo = 0;
  ASSERT_TRUE(UndoCommit(*nest.yard, commit, nullptr, undo));
  std::vector<yard::Item> undone;
  ASSERT_TRUE(nest.yard->List("", undone));
  ASSERT_EQ(undone.size(), before.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(undone[i].id, before[i].id);
    EXPECT_EQ(undone[i].count, before[i].count);
  }
}

// At 最適 the 230 lengths nest close to what any plan needs: the material's own bound (a bar of L
// takes pieces and kerfs of at most L + margin + kerf) and the planner's, which no plan beats;
// and never above the three planned one by one.
TEST(Nest, OptimalNestComesCloseToTheBound) {
  testing::TempDir temp("zarvel5-nest-optimal");
  NestOptions o;
  o.jobs = ThreeMembers(temp);
  o.precision = 3;
  const Nest nest = BuildNest(o);
  ASSERT_EQ(nest.groups.size(), 1u);
  ASSERT_TRUE(nest.groups[0].Planned()) << nest.groups[0].message;
  const optimiser::OptimiserRecords& r = *nest.groups[0].run.records;
  const double kerf = r.conditions.kerf, margin = r.conditions.margin;
  double pieces = 0, ratio = 1;
  for (int j = 1; j <= r.cut.count; ++j)
    pieces += (r.cut.entries[j].length + kerf) * r.cut.entries[j].quantity;
  for (int k = 1; k <= r.stock.count; ++k)
    ratio =
        std::min(ratio, r.stock.entries[k].length / (r.stock.entries[k].length + margin + kerf));
  const double material = pieces * ratio;
  EXPECT_GE(r.best.stock_length, material);
  EXPECT_GE(r.best.stock_length, r.regular_bound);
  EXPECT_LE(r.best.stock_length, std::max(material, r.regular_bound) * 1.01);
  double alone = 0;
  for (const std::string& j : o.jobs) alone += PlannedAlone(j);
  EXPECT_LE(r.best.stock_length, alone);
}

// The command prints every group with its jobs and each cut piece's job and mark; an unreadable
// job is named and the rest planned (exit 1); a usage error is said in Japanese (exit 2).
TEST(NestCommand, PrintsGroupsWithEachPiecesJobAndMark) {
  testing::TempDir temp("zarvel5-nest-command");
  const std::string a = WriteJob(temp, "a.zv5", {"大梁 H-200×100×5.5×8", 6, 1});
  const std::string b = WriteJob(temp, "b.zv5", {"小梁 H-200×100×5.5×8", 6, 2});
  std::ostringstream out, err;
  ASSERT_EQ(cli::RunNestCommand({a, b, "--json"}, out, err), 0) << err.str();
  const std::string json = out.str();
  EXPECT_EQ(json.rfind("{\"status\": \"ok\"", 0), 0u) << json;
  EXPECT_NE(json.find("\"groups\": [{\"section\": \"H-200×100×5.5×8\""), std::string::npos);
  EXPECT_NE(json.find("\"jobs\": [\"" + a + "\", \"" + b + "\"]"), std::string::npos) << json;
  long long pieces = 0;
  for (const std::string& job : {a, b}) {
    long long n = 0;
    for (std::size_t at = 0; (at = json.find("\"job\": \"" + job + "\"", at)) != std::string::npos;
         ++at)
      ++n;
    EXPECT_GT(n, 0) << job;
    pieces += n;
  }
  long long want = 0;
  for (const std::string& job : {a, b})
    for (const auto& [key, count] : JobDemand(0, job)) want += count;
  EXPECT_EQ(pieces, want);
  EXPECT_NE(json.find("\"mark\": \"M0\""), std::string::npos);
  std::ostringstream out2, err2;
  EXPECT_EQ(cli::RunNestCommand({a, temp.File("none.zv5")}, out2, err2), 1);
  EXPECT_NE(err2.str().find("none.zv5"), std::string::npos) << err2.str();
  EXPECT_NE(out2.str().find("=== H-200×100×5.5×8"), std::string::npos) << out2.str();
  std::ostringstream out3, err3;
  EXPECT_EQ(cli::RunNestCommand({a, "--pdfx"}, out3, err3), 2);
  EXPECT_NE(err3.str().find("使い方"), std::string::npos);
}

// The order buys from the nested plans: one line per stock length of the section, with every
// member's usage under it, and no more steel than the jobs ordered one by one.
TEST(Nest, OrderBuysFromTheNestedPlans) {
  testing::TempDir temp("zarvel5-nest-order");
  OrderOptions o;
  o.jobs = ThreeMembers(temp);
  const Order alone = BuildOrder(o);
  o.nest = true;
  const Order nested = BuildOrder(o);
  NestOptions n;
  n.jobs = o.jobs;
  const Nest nest = BuildNest(n);
  ASSERT_EQ(nested.Failed(), 0);
  ASSERT_EQ(nested.members.size(), 1u);
  EXPECT_EQ(nested.members[0].usages, (std::vector<std::string>{"大梁", "小梁", "間柱"}));
  EXPECT_DOUBLE_EQ(nested.bought.total_length, nest.groups[0].run.records->best.stock_length);
  EXPECT_LE(nested.bought.total_length, alone.bought.total_length);
  EXPECT_EQ(nested.jobs.size(), 3u);
}

}  // namespace
}  // namespace zarvel::session
