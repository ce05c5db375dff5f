// The remnant policy on the command line: its refusals, its JSON and its summary lines.
#include <gtest/gtest.h>

#include <sstream>

#include "base/cp932.h"
#include "cli/order_command.h"
#include "cli/plan_command.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "tests/page_reader.h"
#include "tests/temp_dir.h"

namespace zarvel::cli {
namespace {

class PolicyCommandTest : public ::testing::Test {
 protected:
  testing::TempDir temp{"zarvel5-policy"};

  // Two bars either way; with 1500 kept only one plan scraps nothing.
  std::string Job(optimiser::RemnantPolicy policy = {}, int precision = 3) {
    auto records = std::make_unique<optimiser::OptimiserRecords>();
    job::JobForm form(*records);
    form.StockGrid().SetCell(1, 1, "6000.3");
    form.CutGrid().SetCell(1, 1, "4000.1");
    form.CutGrid().SetCell(1, 2, "3000.1");
    form.CutGrid().SetCell(1, 3, "1000.1");
    form.SetPrecisionItem(precision);
    form.policy = policy;
    const std::string path = temp.File("job.zv5");
    EXPECT_TRUE(job::WriteJobFile(form, path));
    return path;
  }

  std::ostringstream out, err;
};

TEST_F(PolicyCommandTest, RefusalsNameTheOption) {
  struct Case {
    std::vector<std::string> words;
    int precision;  // the job's own
    const char* named;
  };
  const Case cases[] = {
      {{"--offcuts-first", "--precision", "high"}, 3, "--offcuts-first"},
      {{"--offcuts-first"}, 2, "--offcuts-first"},  // the job's own precision is 高
      {{"--offcuts-first", "--keep", "0"}, 3, "--keep"},
      {{"--offcuts-first", "--keep", "6001"}, 3, "--keep"},
  };
  using Command = int (*)(const std::vector<std::string>&, std::ostream&, std::ostream&);
  for (const Command command : {Command{RunPlanCommand}, Command{RunPagesCommand}}) {
    for (const Case& c : cases) {
      std::vector<std::string> args{Job({}, c.precision)};
      args.insert(args.end(), c.words.begin(), c.words.end());
      out.str("");
      err.str("");
      EXPECT_EQ(command(args, out, err), kExitUsage) << c.words.back();
      EXPECT_NE(err.str().find(c.named), std::string::npos) << err.str();
      EXPECT_EQ(out.str(), "");
    }
  }
  // The words alone, before any job is read.
  EXPECT_EQ(RunOrderCommand({"a.zv5", "--offcuts-first", "--precision", "low"}, out, err),
            kExitUsage);
}

TEST_F(PolicyCommandTest, JsonSaysWhatThePolicyWeighed) {
  const std::string job = Job();
  ASSERT_EQ(RunPlanCommand({job, "--json", "--offcuts-first", "--keep", "1500"}, out, err),
            kExitPlanned)
      << err.str();
  EXPECT_NE(out.str().find("\"policy\": {\"keep\": 1500, \"mill_length\": 12000, "
                           "\"in_hand_length\": 0, \"scrap_length\": 0, \"scrap_length_bound\": 0, "
                           "\"kept\": [[1997, 1], [1994, 1]]}"),
            std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("\"proven_optimal\": true"), std::string::npos);
  // Without it, no such key: the output is 最適's own.
  out.str("");
  ASSERT_EQ(RunPlanCommand({job, "--json"}, out, err), kExitPlanned);
  EXPECT_EQ(out.str().find("\"policy\""), std::string::npos);
}

TEST_F(PolicyCommandTest, TheJobsOwnPolicyAndItsBadLength) {
  // Saved with the job, the policy runs without the option; a length no bar can leave is the
  // run's refusal.
  ASSERT_EQ(RunPlanCommand({Job({true, 1500}), "--json"}, out, err), kExitPlanned);
  EXPECT_NE(out.str().find("\"kept\": [[1997, 1], [1994, 1]]"), std::string::npos);
  out.str("");
  EXPECT_EQ(RunPlanCommand({Job({true, 9000}), "--json"}, out, err), kExitRunMessage);
  EXPECT_EQ(out.str(), "{\"status\": \"bad-keep\"}\n");
  EXPECT_NE(err.str().find("端材優先の残す長さ (9000 mm)"), std::string::npos) << err.str();
  // At another precision the job's policy is not used (and not refused).
  out.str("");
  EXPECT_EQ(RunPlanCommand({Job({true, 9000}, 2), "--json"}, out, err), kExitPlanned);
  EXPECT_EQ(out.str().find("\"policy\""), std::string::npos);
}

TEST_F(PolicyCommandTest, SummaryPageAddsItsLinesAfterTheOthers) {
  // The characters drawn on the summary page (blanks are not drawn).
  auto summary = [&](std::vector<std::string> words) {
    words.insert(words.begin(), Job());
    out.str("");
    EXPECT_EQ(RunPagesCommand(words, out, err), kExitPlanned) << err.str();
    return base::Cp932ToUtf8(testing::PageText(drawing::kFirstReportSlot + 1));
  };
  const std::string plain = summary({"--tables", "none"});
  const std::string with = summary({"--tables", "none", "--offcuts-first", "--keep", "1500"});
  EXPECT_EQ(plain.find("端材優先"), std::string::npos);
  // The page's own lines stay as they were; the policy's follow them, in this order.
  EXPECT_EQ(with.compare(0, plain.size(), plain), 0);
  EXPECT_EQ(with.substr(plain.size()),
            "端材優先：1500mm以上の残材は端材として残します定尺材（購入）12.000m手持ちの素材0.000m"
            "残す端材1997×11994×1くず0.000m（1500mm未満の残材）");
}

}  // namespace
}  // namespace zarvel::cli
