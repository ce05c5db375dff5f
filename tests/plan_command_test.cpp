#include "cli/plan_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/cp932.h"
#include "cli/order_command.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "tests/fake_files.h"
#include "tests/temp_dir.h"

namespace zarvel::cli {
namespace {

namespace fs = std::filesystem;

class PlanCommandTest : public ::testing::Test {
 protected:
  testing::TempDir temp{"zarvel5-plan"};
  const fs::path& dir = temp.path();

  // Writes a job whose grids hold the given cells, through the job file writer.
  std::string Job(const std::vector<std::string>& stock, const std::vector<std::string>& cut,
                  const std::string& name = "job.zv5") {
    auto records = std::make_unique<optimiser::OptimiserRecords>();
    job::JobForm form(*records);
    for (std::size_t i = 0; i < stock.size(); ++i)
      form.StockGrid().SetCell(1, static_cast<int>(i) + 1, stock[i]);
    for (std::size_t i = 0; i < cut.size(); ++i)
      form.CutGrid().SetCell(1, static_cast<int>(i) + 1, cut[i]);
    const std::string path = (dir / name).string();
    EXPECT_TRUE(job::WriteJobFile(form, path));
    return path;
  }

  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    return RunPlanCommand(args, out, err);
  }

  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(PlanCommandTest, JsonOfTwoPiecesPerBar) {
  const std::string path = Job({"5500.10"}, {"2700.4"});
  ASSERT_EQ(Run({path, "--json"}), kExitPlanned);
  EXPECT_EQ(out.str(),
            "{\"status\": \"ok\", \"stock_length\": 11000, \"required_length\": 10800, "
            "\"remnant_length\": 188, \"remnant_rate\": 1.709091, \"loss_rate\": 1.851852, "
            "\"patterns_count\": 1,\n"
            " \"patterns\": [{\"stock_length\": 5500, \"repeat\": 2, \"remnant\": 94, "
            "\"remnant_rate\": 1.709091, \"pieces\": [[2700, 2]]}],\n"
            " \"stock_used\": [[5500, 2]],\n"
            " \"cut_bars\": [{\"pattern\": 1, \"bar\": 1, \"stock_length\": 5500, \"pieces\": "
            "[{\"length\": 2700, \"mark\": \"\"}, {\"length\": 2700, \"mark\": \"\"}]},\n"
            "  {\"pattern\": 1, \"bar\": 2, \"stock_length\": 5500, \"pieces\": "
            "[{\"length\": 2700, \"mark\": \"\"}, {\"length\": 2700, \"mark\": \"\"}]}]}\n");
  EXPECT_EQ(err.str(), "");
}

TEST_F(PlanCommandTest, PriorityStockFirst) {
  const std::string path = Job({"6000.10", "4000.3"}, {"1900.6"});
  ASSERT_EQ(Run({path, "--json", "--precision", "high"}), kExitPlanned);
  EXPECT_NE(
      out.str().find("\"patterns\": [{\"stock_length\": 4000, \"repeat\": 3, \"remnant\": 194, "
                     "\"remnant_rate\": 4.850000, \"pieces\": [[1900, 2]]}]"),
      std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("\"stock_used\": [[4000, 3]]"), std::string::npos);
}

TEST_F(PlanCommandTest, RunMessagesGoToStderr) {
  ASSERT_EQ(Run({Job({"6000.1"}, {"5000.2"}), "--json"}), kExitRunMessage);
  EXPECT_EQ(out.str().rfind("{\"status\": \"short\", \"shortage\": [{\"stock_length\": 6000, "
                            "\"bars\": 1}],\n \"plan\": {\"stock_length\": 12000,",
                            0),
            0u)
      << out.str();
  EXPECT_NE(out.str().find("\"stock_used\": [[6000, 2]]"), std::string::npos);
  EXPECT_EQ(err.str(),
            "素材数不足か素材長が足りないため、Zarvel不能です。\n"
            "不足: 6000 × 1 本 を追加すれば計画できます\n");
  ASSERT_EQ(Run({Job({"3000.1"}, {"5000.1"}, "unfit.zv5"), "--json"}), kExitRunMessage);
  EXPECT_EQ(out.str(), "{\"status\": \"infeasible\"}\n");

  ASSERT_EQ(Run({Job({}, {"5000.2"}, "empty.zv5")}), kExitRunMessage);
  EXPECT_EQ(err.str(), "素材が未入力です。\n");
  ASSERT_EQ(Run({Job({"5000.2"}, {}, "nocut.zv5"), "--json"}), kExitRunMessage);
  EXPECT_EQ(out.str(), "{\"status\": \"no-cut\"}\n");
}

TEST_F(PlanCommandTest, UsageAndMissingFiles) {
  // Each usage error says what is wrong, in Japanese, then the usage; exit 2.
  const std::pair<std::vector<std::string>, const char*> usage_errors[] = {
      {{}, "仕事のファイルを指定して下さい"},
      {{"a.zv5", "--precision", "extreme"}, "--precision に 'extreme' は指定できません"},
      {{"a.zv5", "--bogus"}, "--bogus はこのコマンドでは使えません"},
      {{"a.zv5", "--csv"}, "--csv の後に値がありません"},
  };
  for (const auto& [args, reason] : usage_errors) {
    EXPECT_EQ(Run(args), kExitUsage);
    EXPECT_EQ(err.str().rfind(std::string("zarvel5: ") + reason, 0), 0u) << err.str();
    EXPECT_NE(err.str().find(std::string("\n") + kUsage), std::string::npos);
  }
  // --help: the usage on stdout, exit 0, whatever else is there.
  EXPECT_EQ(Run({"a.zv5", "--help"}), kExitPlanned);
  EXPECT_EQ(out.str(), std::string(kUsage) + kWindowUsage);
  const std::string missing = (dir / "missing.zv5").string();
  EXPECT_EQ(Run({missing}), kExitUsage);
  EXPECT_EQ(err.str(),
            "[×]" + dir.string() +
                "/\nmissing.zv5\nは読み込めません\nファイルまたはフォルダが見つかりません\n");
}

TEST_F(PlanCommandTest, AFileThatIsNotAJobIsNamedAsSuch) {
  for (const std::string& bytes :
       {std::string(), std::string("x,y\n1,2\n"), std::string("\x89PNG\r\n\x1a\n\0\0", 10)}) {
    testing::WriteBytes(dir / "notes.zv5", bytes);
    const std::string path = (dir / "notes.zv5").string();
    EXPECT_EQ(Run({path}), kExitUsage);
    EXPECT_EQ(err.str(), "[×]" + dir.string() +
                             "/\nnotes.zv5\nは読み込めません\n仕事のファイルではありません\n");
    std::ostringstream order_out, order_err;
    EXPECT_EQ(RunOrderCommand({path}, order_out, order_err), kExitUsage);
    EXPECT_NE(order_err.str().find("仕事のファイルではありません"), std::string::npos);
    EXPECT_EQ(order_err.str().find("未入力"), std::string::npos);
  }
}

TEST_F(PlanCommandTest, WorkLimitIsNamedInEveryOutput) {
  // A million pieces of 2 mm to one bar: the second attempt passes an attempt's limit.
  const std::string job = Job({"6000000.5"}, {"2.999999"});
  ASSERT_EQ(Run({job, "--precision", "high"}), kExitPlanned);
  EXPECT_NE(out.str().find("計算量の上限で打ち切り (1回目の試行まで)\n"), std::string::npos);
  EXPECT_EQ(err.str(),
            "次のセルは見た目と違う値に読まれます。\n"
            "素材リスト  6000000.5 → 6000000 × 5 本 (40000 ㎜を超える素材長)\n"
            "計算量の上限に達したため、1回目の試行までで打ち切りました。\n"
            "それまでで最良の計画を表示します。\n");
  ASSERT_EQ(Run({job, "--precision", "high", "--json"}), kExitPlanned);
  EXPECT_NE(out.str().find("\"work_limit_reached\": true, \"attempts_made\": 1"),
            std::string::npos);
  // An ordinary job says nothing of it.
  ASSERT_EQ(Run({Job({"5500.10"}, {"2700.4"}, "small.zv5"), "--json"}), kExitPlanned);
  EXPECT_EQ(out.str().find("work_limit"), std::string::npos);
  EXPECT_EQ(err.str(), "");
}

TEST_F(PlanCommandTest, WindowStartWithoutADisplayOrWithAMistypedCommand) {
  const std::string job = Job({"5500.10"}, {"2700.4"});
  auto is_file = [&](const std::string& p) { return fs::is_regular_file(p); };
  auto check = [&](std::vector<std::string> args, bool display) {
    out.str("");
    err.str("");
    return CheckWindowStart(args, display, is_file, out, err);
  };
  const std::string usage = std::string(kUsage) + kWindowUsage;
  EXPECT_EQ(check({}, true), std::nullopt);
  EXPECT_EQ(check({job}, true), std::nullopt);
  // No display: the reason and the headless commands, exit 2, for a job or none.
  EXPECT_EQ(check({job}, false), kExitUsage);
  EXPECT_EQ(err.str(), kNoDisplayMessage + usage);
  EXPECT_EQ(check({}, false), kExitUsage);
  EXPECT_EQ(err.str(), kNoDisplayMessage + usage);
  // A mistyped command is neither a command nor a file: the usage, display or not.
  EXPECT_EQ(check({"palns", job}, true), kExitUsage);
  EXPECT_EQ(err.str(), "zarvel5: 'palns' はコマンドでも仕事のファイルでもありません\n" + usage);
  EXPECT_EQ(check({"palns", job}, false), kExitUsage);
  EXPECT_EQ(check({"--bogus"}, true), kExitUsage);
  EXPECT_EQ(err.str(), "zarvel5: '--bogus' は使えないオプションです\n" + usage);
  // --help: the usage on stdout, exit 0.
  EXPECT_EQ(check({"--help"}, false), kExitPlanned);
  EXPECT_EQ(out.str(), usage);
  EXPECT_EQ(err.str(), "");
}

TEST_F(PlanCommandTest, SaveJobWritesTheSortedGrids) {
  const std::string path = Job({"6000.3", "4000.2"}, {"900.2", "300.5", "900.1"});
  const std::string saved = (dir / "saved.zv5").string();
  ASSERT_EQ(Run({path, "--save-job", saved, "--precision", "low"}), kExitPlanned);
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  ASSERT_TRUE(job::OpenJobFile(form, saved));
  EXPECT_EQ(form.StockGrid().Cell(1, 1), " 4000.  2");
  EXPECT_EQ(form.StockGrid().Cell(1, 2), " 6000.  3");
  EXPECT_EQ(form.CutGrid().Cell(1, 1), "  300.  5");
  EXPECT_EQ(form.CutGrid().Cell(1, 3), "  900.  1");
  EXPECT_EQ(form.PrecisionItem(), 0);
  EXPECT_EQ(Run({path, "--save-job", (dir / "no" / "such.zv5").string()}), kExitUsage);
}

mode_t Mode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST_F(PlanCommandTest, SaveJobOverFilesThatMustStay) {
  const std::string path = Job({"5500.10"}, {"2700.4"});
  const std::string before = testing::ReadBytes(path);
  const std::string folder = dir.string() + "/";
  // The job saved onto itself at mode 0444: refused, even for root.
  ::chmod(path.c_str(), 0444);
  EXPECT_EQ(Run({path, "--save-job", path, "--precision", "low"}), kExitUsage);
  EXPECT_EQ(err.str(),
            "[×]" + folder + "\njob.zv5\nには書き込めません\n書き込みが禁止されたファイルです\n");
  EXPECT_EQ(testing::ReadBytes(path), before);

  // A FIFO is refused without being opened.
  const std::string fifo = (dir / "fifo.zv5").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(Run({path, "--save-job", fifo}), kExitUsage);
  EXPECT_EQ(err.str(),
            "[×]" + folder + "\nfifo.zv5\nには書き込めません\n通常のファイルではありません\n");

  // A link is saved through to the file it names, and stays a link.
  const std::string real = (dir / "real.zv5").string();
  const std::string link = (dir / "link.zv5").string();
  std::ofstream(real) << "old";
  fs::create_symlink("real.zv5", link);
  ASSERT_EQ(Run({path, "--save-job", link, "--precision", "low"}), kExitPlanned) << err.str();
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_NE(testing::ReadBytes(real).find("[FmUnit1]"), std::string::npos);

  // A new file gets what the umask allows.
  const mode_t mask = ::umask(027);
  const std::string fresh = (dir / "fresh.zv5").string();
  EXPECT_EQ(Run({path, "--save-job", fresh, "--precision", "low"}), kExitPlanned);
  ::umask(mask);
  EXPECT_EQ(Mode(fresh), 0640u);
}

TEST_F(PlanCommandTest, SaveJobAsAnOrdinaryUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  // In a folder anyone may write, renaming over a file works whatever its mode: the user's
  // own job at 0444, and another user's job at 0644.
  const std::string path = Job({"5500.10"}, {"2700.4"});
  const std::string others = Job({"6000.10"}, {"2700.4"}, "others.zv5");
  const std::string before = testing::ReadBytes(path);
  const std::string others_before = testing::ReadBytes(others);
  ::chmod(dir.c_str(), 0777);
  ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
  ::chmod(path.c_str(), 0444);
  ::chmod(others.c_str(), 0644);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(100);
    std::ostringstream o, e;
    const int own = RunPlanCommand({path, "--save-job", path}, o, e);
    const int other = RunPlanCommand({path, "--save-job", others}, o, e);
    _exit(own == kExitUsage && other == kExitUsage ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(testing::ReadBytes(path), before);
  EXPECT_EQ(testing::ReadBytes(others), others_before);
}

TEST_F(PlanCommandTest, SaveJobFailureNamesItsReason) {
  const std::string path = Job({"5500.10"}, {"2700.4"});
  testing::FakeFiles files;
  testing::UseFiles use(files);
  files.FailOn(testing::FakeFiles::Fail::kWrite, ENOSPC, {}, 10);
  const std::string target = (dir / "out.zv5").string();
  EXPECT_EQ(Run({path, "--save-job", target}), kExitUsage);
  EXPECT_EQ(err.str(),
            "[×]" + dir.string() + "/\nout.zv5\nには書き込めません\nディスクに空きがありません\n");
  EXPECT_FALSE(fs::exists(target));
}

TEST_F(PlanCommandTest, NegativeKerfInAFileRefusesTheRun) {
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  job::JobForm form(*records);
  form.StockGrid().SetCell(1, 1, "12000.20");
  form.SetFieldText(run::JobField::kKerf, " -3");
  const std::string path = (dir / "negative.zv5").string();
  ASSERT_TRUE(job::WriteJobFile(form, path));
  ASSERT_EQ(Run({path, "--cut-csv", ZARVEL5_SOURCE_DIR "/examples/minami_beams_cut.csv", "--json"}),
            kExitRunMessage);
  EXPECT_EQ(out.str(), "{\"status\": \"negative-condition\"}\n");
  EXPECT_NE(err.str().find("切り代が負の値 (-3 ㎜) です。\n"), std::string::npos);
}

TEST_F(PlanCommandTest, OutputsNeverOverwriteWhatIsRead) {
  const std::string job = Job({"5500.10"}, {"2700.4"});
  const std::string cut = (dir / "cut.csv").string();
  std::ofstream(cut) << "2700,4\n";
  const std::string link = (dir / "link.zv5").string();
  fs::create_symlink("job.zv5", link);
  const std::string job_bytes = testing::ReadBytes(job);
  // The job, also through a link, and the cut list: refused before anything is written.
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{job, "--csv", job}, "--csv の出力先 " + job + " は読み込む仕事のファイルです。"},
      {{job, "--csv", link}, "--csv の出力先 " + link + " は読み込む仕事のファイルです。"},
      {{job, "--cut-csv", cut, "--save-job", cut},
       "--save-job の出力先 " + cut + " は読み込む切断リストです。"},
  };
  for (const auto& [args, message] : refused) {
    EXPECT_EQ(Run(args), kExitUsage);
    EXPECT_EQ(err.str(),
              "zarvel5: " + message + "上書きせずに終わります。別の出力先を指定して下さい。\n");
    EXPECT_EQ(testing::ReadBytes(job), job_bytes);
    EXPECT_EQ(testing::ReadBytes(cut), "2700,4\n");
  }
  // The job saved onto itself stays allowed.
  EXPECT_EQ(Run({job, "--save-job", link, "--precision", "low"}), kExitPlanned) << err.str();
}

TEST_F(PlanCommandTest, ExamplesPlan) {
  for (const char* name : {"kitamachi_beams.zv5", "full_grid.zv5"}) {
    ASSERT_EQ(Run({std::string(ZARVEL5_SOURCE_DIR "/examples/") + name, "--precision", "low"}),
              kExitPlanned)
        << err.str();
    EXPECT_NE(out.str().find("残材率"), std::string::npos);
  }
}

}  // namespace
}  // namespace zarvel::cli
