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
  EXPECT_EQ(order.bought.bars + order.rack.bars, total.bars);
  EXPECT_DOUBLE_EQ(order.bought.total_length + order.rack.total_length, total.length);
  // Each line's weight is rounded to the kilogram it shows.
  EXPECT_NEAR((order.bought.weight_kg + order.rack.weight_kg) / 1000.0, total.weight, 0.02);
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
    OrderTotals sum;
    int last = 0;
    for (const OrderLine& l : m.lines) {
      EXPECT_GT(l.stock_length, last);  // ascending, each stock length once
      last = l.stock_length;
      EXPECT_DOUBLE_EQ(l.totals.total_length, 1.0 * l.stock_length * l.totals.bars);
      sum.bars += l.totals.bars;
      sum.total_length += l.totals.total_length;
      sum.weight_kg += l.totals.weight_kg;
    }
    EXPECT_EQ(m.bought.bars, sum.bars);
    EXPECT_DOUBLE_EQ(m.bought.total_length, sum.total_length);
    EXPECT_EQ(m.bought.weight_kg, sum.weight_kg);  // the sum of the rounded lines shown
    member_bars += m.bought.bars;
  }
  EXPECT_EQ(member_bars, order.bought.bars);

  // A higher threshold keeps fewer offcuts.
  o.keep = 2000;
  const Order fewer = BuildOrder(o, nullptr);
  long long kept = 0;
  for (const Offcut& c : fewer.offcuts) kept += c.count;
  long long expected = 0;
  for (const std::string& job : jobs) expected += PlanSums(job, 2000).offcuts;
  EXPECT_EQ(kept, expected);
}

// A job file with the example beams' lists under another member name and unit weight.
std::string JobCopy(testing::TempDir& temp, const std::string& name, const char* member,
                    const char* unit_weight, const char* grade = "") {
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  EXPECT_TRUE(job::OpenJobFile(form, ZARVEL5_SOURCE_DIR "/examples/project/minami_girders.zv5"));
  form.grade = grade;
  form.SetFieldText(run::JobField::kMemberName, base::Utf8ToCp932(member));
  form.SetFieldText(run::JobField::kUnitWeight, unit_weight);
  const std::string path = temp.File(name);
  EXPECT_TRUE(job::WriteJobFile(form, path));
  return path;
}

TEST(OrderCommand, GroupsBySectionNeverBySameNameAndPlansAFileOnce) {
  testing::TempDir temp("zarvel5-order-groups");
  CommandOptions o;
  o.jobs = {JobCopy(temp, "a.zv5", "大梁", "66.0"), JobCopy(temp, "b.zv5", "大梁", "103.0")};
  Order order = BuildOrder(o, nullptr);
  ASSERT_EQ(order.members.size(), 2u);  // one name, two steels
  EXPECT_EQ(order.members[0].bought.bars, order.members[1].bought.bars);
  EXPECT_NE(order.members[0].bought.weight_kg, order.members[1].bought.weight_kg);

  // One section under two usages and an older table's weight: one group, a line per weight.
  o.jobs = {JobCopy(temp, "c.zv5", "大梁 H-400x200x8x13", "65.4"),
            JobCopy(temp, "d.zv5", "H-400×200×8×13 梁", "66.0")};
  order = BuildOrder(o, nullptr);
  ASSERT_EQ(order.members.size(), 1u);
  const OrderMember& m = order.members[0];
  EXPECT_EQ(m.name, "H-400×200×8×13");
  EXPECT_EQ(m.usages, (std::vector<std::string>{"大梁", "梁"}));
  EXPECT_EQ(m.unit_weights.size(), 2u);
  for (const OrderLine& l : m.lines) EXPECT_TRUE(l.unit_weight == 65.4 || l.unit_weight == 66.0);
  EXPECT_NE(OrderText(order).find("単位重量が 2 通りあります"), std::string::npos);

  // Two grades of one section are two steels to buy; a job without a grade is a third.
  o.jobs = {JobCopy(temp, "g1.zv5", "H-400x200x8x13", "65.4", "SS400"),
            JobCopy(temp, "g2.zv5", "H-400x200x8x13", "65.4", "SN490B"),
            JobCopy(temp, "g3.zv5", "H-400x200x8x13", "65.4", "SS400"),
            JobCopy(temp, "g4.zv5", "H-400x200x8x13", "65.4")};
  order = BuildOrder(o, nullptr);
  ASSERT_EQ(order.members.size(), 3u);
  EXPECT_EQ(order.members[0].name, "H-400×200×8×13 SS400");
  EXPECT_EQ(order.members[1].name, "H-400×200×8×13 SN490B");
  EXPECT_EQ(order.members[2].name, "H-400×200×8×13");
  EXPECT_EQ(order.members[0].bought.bars, 2 * order.members[1].bought.bars);

  // The same file named twice, once through a link, is bought once; a weightless job makes the
  // weights partial.
  const std::string link = temp.File("link.zv5");
  fs::create_symlink(o.jobs[0], link);
  o.jobs = {o.jobs[0]};
  const Order once = BuildOrder(o, nullptr);
  o.jobs = {o.jobs[0], link, JobCopy(temp, "e.zv5", "", "0")};
  order = BuildOrder(o, nullptr);
  EXPECT_TRUE(order.jobs[1].duplicate);
  EXPECT_EQ(order.members[0].bought.bars, once.bought.bars);
  ASSERT_EQ(order.members.size(), 2u);
  EXPECT_EQ(order.members[1].name, "(部材名なし)");
  EXPECT_TRUE(order.weight_partial);
  EXPECT_EQ(order.bought.weight_kg, order.members[0].bought.weight_kg);
  EXPECT_NE(OrderJson(order).find("\"weight_partial\": true"), std::string::npos);
  EXPECT_NE(OrderText(order).find("同じファイルです"), std::string::npos);
}

TEST(OrderCommand, RackBarsAreNotBought) {
  CommandOptions o;
  o.jobs = {ZARVEL5_SOURCE_DIR "/examples/kitamachi_beams.zv5"};
  const Order order = BuildOrder(o, nullptr);
  ASSERT_EQ(order.members.size(), 1u);
  EXPECT_GT(order.rack.bars, 0);
  for (const OrderLine& l : order.members[0].lines)
    EXPECT_EQ(l.rack, l.stock_length < 5000) << l.stock_length;  // the job's priority length
  EXPECT_EQ(order.bought.bars, order.members[0].bought.bars);
  const std::string json = OrderJson(order);
  EXPECT_NE(json.find("{\"stock_length\": 2980, \"kg_per_m\": 21.30, \"rack\": true"),
            std::string::npos)
      << json;
  EXPECT_NE(OrderText(order).find("在庫から使用"), std::string::npos);
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
  // One more 6 m bar would do.
  form.StockGrid().SetCell(1, 1, " 6000.  1");
  form.CutGrid().SetCell(1, 1, " 5000.  2");
  const std::string lacking = temp.File("lacking.zv5");
  ASSERT_TRUE(job::WriteJobFile(form, lacking));
  std::vector<std::string> args = ProjectJobs();
  args.push_back(short_stock);
  args.push_back(lacking);
  args.push_back(temp.File("missing.zv5"));
  std::ostringstream out, err;
  EXPECT_EQ(RunOrderCommand(args, out, err), kExitUsage);  // an unreadable file weighs most
  const std::string e = err.str();
  EXPECT_NE(e.find("short.zv5: 素材数不足か素材長が足りないため、Zarvel不能です。"),
            std::string::npos)
      << e;
  EXPECT_NE(e.find("missing.zv5"), std::string::npos);
  EXPECT_NE(e.find("7/7"), std::string::npos);  // progress with many jobs
  // The planned jobs are still listed.
  EXPECT_NE(out.str().find("H-400×200×8×13 計"), std::string::npos);
  EXPECT_NE(out.str().find("計画できなかった仕事: 3 件"), std::string::npos);
  EXPECT_NE(out.str().find("short.zv5: 素材数不足か素材長が足りないため、Zarvel不能です。 (5000 mm "
                           "の切断材を取れる素材がありません"),
            std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("lacking.zv5: 素材数不足か素材長が足りないため、Zarvel不能です。 (不足: "
                           "6000 × 1 本 を追加すれば計画できます)"),
            std::string::npos);
  EXPECT_NE(out.str().find("計画できなかった仕事があります"), std::string::npos);

  args.pop_back();
  out.str("");
  err.str("");
  EXPECT_EQ(RunOrderCommand(args, out, err), kExitRunMessage);
  args.push_back("--json");
  out.str("");
  EXPECT_EQ(RunOrderCommand(args, out, err), kExitRunMessage);
  EXPECT_EQ(out.str().rfind("{\"status\": \"incomplete\"", 0), 0u);
  EXPECT_NE(out.str().find("\"status\": \"failed\", \"message\": \"素材数不足"), std::string::npos);
  EXPECT_NE(out.str().find("\"lacks\": \"不足: 6000 × 1 本 を追加すれば計画できます\", "
                           "\"shortage\": [{\"stock_length\": 6000, \"bars\": 1}]"),
            std::string::npos)
      << out.str();
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
  const std::string utf8 = base::Cp932ToUtf8(bytes);
  EXPECT_EQ(utf8.rfind("部材名,単位重量 (kg/m),素材長,本数,延長 (m),重量 (t)\r\n", 0), 0u);
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
