#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/cp932.h"
#include "cli/order_command.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "tests/temp_dir.h"

namespace zarvel::cli {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> ProjectJobs() {
  std::vector<std::string> jobs;
  for (const auto& e : fs::directory_iterator(ZARVEL5_SOURCE_DIR "/examples/project"))
    if (e.path().extension() == ".zv5") jobs.push_back(e.path().string());
  std::sort(jobs.begin(), jobs.end());
  return jobs;
}

// What one job's plan adds to the order, summed independently of the order command.
struct Sums {
  long long bars = 0;
  double length = 0;
  double weight = 0;
  long long offcuts = 0;
};

Sums PlanSums(const std::string& path, int keep) {
  CommandOptions o;
  o.job = path;
  JobRun run;
  std::ostringstream err;
  EXPECT_EQ(OpenAndRun(o, run, err), std::nullopt) << path << err.str();
  Sums s;
  const optimiser::CuttingPlan& plan = run.records->best;
  for (int p = 1; p <= plan.pattern_count; ++p) {
    s.bars += plan.patterns[p].repeat_count;
    if (plan.patterns[p].remnant >= keep) s.offcuts += plan.patterns[p].repeat_count;
  }
  s.length = plan.stock_length;
  s.weight = plan.stock_length * run.records->conditions.unit_weight * 1e-6;
  return s;
}

TEST(OrderCommand, ExampleProjectTotalsAreTheSumOfItsPlans) {
  const std::vector<std::string> jobs = ProjectJobs();
  ASSERT_GE(jobs.size(), 3u);
  CommandOptions o;
  o.jobs = jobs;
  o.keep = 1000;
  const Order order = BuildOrder(o, nullptr);
  Sums total;
  for (const std::string& job : jobs) {
    const Sums s = PlanSums(job, 1000);
    total.bars += s.bars;
    total.length += s.length;
    total.weight += s.weight;
    total.offcuts += s.offcuts;
  }
  EXPECT_EQ(order.bars, total.bars);
  EXPECT_DOUBLE_EQ(order.total_length, total.length);
  EXPECT_NEAR(order.weight, total.weight, 1e-9);
  long long offcuts = 0;
  for (const Offcut& c : order.offcuts) {
    EXPECT_GE(c.length, 1000);
    offcuts += c.count;
  }
  EXPECT_EQ(offcuts, total.offcuts);
  // One member per job here; each member's lines add up to its total, the members to the whole.
  ASSERT_EQ(order.members.size(), jobs.size());
  long long member_bars = 0;
  for (const OrderMember& m : order.members) {
    long long bars = 0;
    double length = 0;
    int last = 0;
    for (const OrderLine& l : m.lines) {
      EXPECT_GT(l.stock_length, last);  // ascending, each stock length once
      last = l.stock_length;
      EXPECT_DOUBLE_EQ(l.total_length, 1.0 * l.stock_length * l.bars);
      bars += l.bars;
      length += l.total_length;
    }
    EXPECT_EQ(m.bars, bars);
    EXPECT_DOUBLE_EQ(m.total_length, length);
    member_bars += m.bars;
  }
  EXPECT_EQ(member_bars, order.bars);

  // A higher threshold keeps fewer offcuts.
  o.keep = 2000;
  const Order fewer = BuildOrder(o, nullptr);
  long long kept = 0;
  for (const Offcut& c : fewer.offcuts) kept += c.count;
  long long expected = 0;
  for (const std::string& job : jobs) expected += PlanSums(job, 2000).offcuts;
  EXPECT_EQ(kept, expected);
}

TEST(OrderCommand, SameMemberInTwoJobsIsOrderedTogether) {
  const std::vector<std::string> jobs = ProjectJobs();
  CommandOptions o;
  o.jobs = {jobs[0], jobs[0]};
  const Order twice = BuildOrder(o, nullptr);
  o.jobs = {jobs[0]};
  const Order once = BuildOrder(o, nullptr);
  ASSERT_EQ(twice.members.size(), 1u);
  EXPECT_EQ(twice.bars, 2 * once.bars);
  ASSERT_EQ(twice.members[0].lines.size(), once.members[0].lines.size());
  for (std::size_t i = 0; i < once.members[0].lines.size(); ++i)
    EXPECT_EQ(twice.members[0].lines[i].bars, 2 * once.members[0].lines[i].bars);
}

TEST(OrderCommand, JobsThatCannotBePlannedAreNamedAndTheRestListed) {
  testing::TempDir temp("zarvel5-order");
  // Stock too short for the pieces.
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  form.StockGrid().SetCell(1, 1, " 3000.  1");
  form.CutGrid().SetCell(1, 1, " 5000.  1");
  const std::string short_stock = temp.File("short.zv5");
  ASSERT_TRUE(job::WriteJobFile(form, short_stock));
  std::vector<std::string> args = ProjectJobs();
  args.push_back(short_stock);
  args.push_back(temp.File("missing.zv5"));
  std::ostringstream out, err;
  EXPECT_EQ(RunOrderCommand(args, out, err), kExitUsage);  // an unreadable file weighs most
  const std::string e = err.str();
  EXPECT_NE(e.find("short.zv5: 素材数不足か素材長が足りないため、Zarvel不能です。"),
            std::string::npos)
      << e;
  EXPECT_NE(e.find("missing.zv5"), std::string::npos);
  EXPECT_NE(e.find("6/6"), std::string::npos);  // progress with many jobs
  // The planned jobs are still listed.
  EXPECT_NE(out.str().find("大梁 H-400×200×8×13 計"), std::string::npos);
  EXPECT_NE(out.str().find("計画できなかった切断計画: 2 件"), std::string::npos);

  args.pop_back();
  out.str("");
  err.str("");
  EXPECT_EQ(RunOrderCommand(args, out, err), kExitRunMessage);
  args.push_back("--json");
  out.str("");
  EXPECT_EQ(RunOrderCommand(args, out, err), kExitRunMessage);
  EXPECT_EQ(out.str().rfind("{\"status\": \"incomplete\"", 0), 0u);
  EXPECT_NE(out.str().find("\"status\": \"failed\", \"message\": \"素材数不足"), std::string::npos);
}

TEST(OrderCommand, CsvAndUsage) {
  testing::TempDir temp("zarvel5-order-csv");
  std::vector<std::string> args = ProjectJobs();
  const std::string csv = temp.File("order.csv");
  args.insert(args.end(), {"--csv", csv, "--keep", "1500"});
  std::ostringstream out, err;
  ASSERT_EQ(RunOrderCommand(args, out, err), kExitPlanned) << err.str();
  std::ifstream in(csv, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  const std::string utf8 = text::Cp932ToUtf8(bytes);
  EXPECT_EQ(utf8.rfind("部材名,素材長,本数,延長 (m),重量 (t)\r\n", 0), 0u);
  EXPECT_NE(utf8.find("\r\n全体 計,,"), std::string::npos);
  EXPECT_NE(utf8.find("残材 (1500 mm 以上)"), std::string::npos);
  EXPECT_EQ(utf8.find('\n', 0), utf8.find("\r\n", 0) + 1);

  for (const std::vector<std::string>& bad : {std::vector<std::string>{},
                                              {"a.zv5", "--keep", "-5"},
                                              {"a.zv5", "--keep", "x"},
                                              {"a.zv5", "--csv", "o.csv", "--json"},
                                              {"a.zv5", "--tables", "A"}}) {
    err.str("");
    EXPECT_EQ(RunOrderCommand(bad, out, err), kExitUsage);
    EXPECT_NE(err.str().find("使い方"), std::string::npos);
  }
}

}  // namespace
}  // namespace zarvel::cli
