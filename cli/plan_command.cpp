#include "cli/plan_command.h"

#include <algorithm>
#include <memory>

#include "base/app_info.h"
#include "base/cp932.h"
#include "base/format.h"
#include "base/lines.h"
#include "cli/yard_command.h"
#include "drawing/pages.h"
#include "drawing/playback.h"
#include "job/cut_csv.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "job/safe_file.h"
#include "job/settings.h"
#include "optimiser/exact.h"
#include "optimiser/remnant_policy.h"
#include "report/cut_bars.h"
#include "report/labels.h"
#include "report/plan_csv.h"
#include "run/cell_check.h"
#include "run/run_command.h"

namespace zarvel::cli {

using optimiser::BarPattern;
using optimiser::OptimiserRecords;

const char* const kUsage =
    "使い方: zarvel5 plan 仕事.zv5 [--precision low|medium|high|optimal] [--json]\n"
    "                    [--save-job 出力.zv5] [--csv 出力.csv] [--cut-csv 切断リスト.csv]\n"
    "                    [--from-yard [--yard 在庫ファイル] [--section 断面] [--commit] [--keep "
    "MM]\n"
    "                     [--allow-network-file]]\n"
    "                    [--offcuts-first [--keep MM]]   (端材優先: 精度 最適 だけ)\n"
    "        zarvel5 pages 仕事.zv5 [--tables none|A|B|C|S|L|AB|...|ABCSL] [--keep MM] "
    "[--label-sheet 12|24|44] [--precision ...] [--offcuts-first]\n"
    "        zarvel5 report 仕事.zv5 (--pdf 出力.pdf | --png フォルダー) [--tables ...] "
    "[--keep MM] [--label-sheet 12|24|44] [--precision ...] [--offcuts-first]\n"
    "        zarvel5 order 仕事.zv5... [--csv 出力.csv | --json] [--keep MM] [--precision ...] "
    "[--offcuts-first] [--nest]\n"
    "                    [--from-yard [--yard 在庫ファイル] [--allow-network-file]]\n"
    "        zarvel5 nest 仕事.zv5... [--precision ...] [--json | --pdf 出力.pdf | --png "
    "フォルダー "
    "[--tables ...]]\n"
    "                    [--from-yard [--yard 在庫ファイル] [--commit] [--keep MM] "
    "[--allow-network-file]]\n"
    "        zarvel5 import ファイルかフォルダー... --out 出力フォルダー [--template ひな形.zv5] "
    "[--json]\n"
    "        zarvel5 sections [探す名前] [--json]\n"
    "        zarvel5 yard [--yard 在庫ファイル] "
    "list|add|take|history|undo|import|check|repair|backup|restore ...  (zarvel5 yard --help)\n";

const char* const kWindowUsage =
    "        zarvel5 [仕事.zv5]              (ウィンドウで開きます。画面が必要です)\n";

const char* const kNoDisplayMessage =
    "zarvel5: ウィンドウには画面が必要です。画面がないときは plan, pages, report, order の"
    "コマンドを使って下さい\n";

const char* const kTruncatedMessage =
    "zarvel5: 帳票のページが多すぎるため、保持できる最後のページまでで打ち切りました\n";

namespace {

std::string Number(double v) {
  return base::Format("%.15g", v);
}
std::string Rate(double v) {
  return base::Format("%.6f", v);
}

// The letters of --tables: the two pattern tables, the diagrams, the saw list and the labels.
constexpr std::string_view kTableLetters = "ABCSL";

// "none", or each letter at most once, in any order.
bool ValidTables(const std::string& t) {
  if (t == "none") return true;
  if (t.empty() || t.size() > kTableLetters.size()) return false;
  for (std::size_t i = 0; i < t.size(); ++i)
    if (kTableLetters.find(t[i]) == std::string_view::npos || t.find(t[i]) != i) return false;
  return true;
}

}  // namespace

const char* StatusName(run::RunOutcome outcome) {
  switch (outcome) {
    case run::RunOutcome::kPlanned:
      return "ok";
    case run::RunOutcome::kNoStock:
      return "no-stock";
    case run::RunOutcome::kNoCut:
      return "no-cut";
    case run::RunOutcome::kTooLarge:
      return "too-large";
    case run::RunOutcome::kNegativeCondition:
      return "negative-condition";
    case run::RunOutcome::kBadKeep:
      return "bad-keep";
    case run::RunOutcome::kShort:
      return "short";
    case run::RunOutcome::kInfeasible:
      break;
  }
  return "infeasible";
}

// What the remnant policy weighed: {"mill_length", "in_hand_length", "scrap_length", "kept"}.
std::string PolicyJson(const OptimiserRecords& r) {
  const optimiser::PolicyFigures f = optimiser::PolicyOf(r);
  std::string j =
      "{\"keep\": " + Number(r.conditions.policy.keep) + ", \"mill_length\": " + Number(f.mill) +
      ", \"in_hand_length\": " + Number(f.in_hand) + ", \"scrap_length\": " + Number(f.scrap) +
      ", \"scrap_length_bound\": " + Number(r.scrap_bound) + ", \"kept\": [";
  for (std::size_t i = 0; i < f.kept.size(); ++i)
    j += base::Format("%s[%d, %lld]", i == 0 ? "" : ", ", f.kept[i].length, f.kept[i].bars);
  return j + "]}";
}

// The plan's keys after the status.
std::string PlanFields(const OptimiserRecords& r, const PieceFields& piece_fields) {
  const optimiser::CuttingPlan& plan = r.best;
  std::string j = "\"stock_length\": " + Number(plan.stock_length) +
                  ", \"required_length\": " + Number(plan.required_length) +
                  ", \"remnant_length\": " + Number(plan.remnant_length) +
                  ", \"remnant_rate\": " + Rate(plan.remnant_rate) +
                  ", \"loss_rate\": " + Rate(plan.loss_rate) +
                  base::Format(", \"patterns_count\": %d,\n \"patterns\": [", plan.pattern_count);
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const BarPattern& b = plan.patterns[p];
    j += p == 1 ? "" : ",\n  ";
    j += base::Format("{\"stock_length\": %d, \"repeat\": %d, \"remnant\": %s, ",
                      r.stock.entries[b.stock_index].length, b.repeat_count,
                      Number(b.remnant).c_str());
    j += "\"remnant_rate\": " + Rate(b.remnant_rate) + ", \"pieces\": [";
    bool first = true;
    for (int c = 1; c <= r.cut.count; ++c) {
      if (b.piece_counts[c] == 0) continue;
      j +=
          base::Format("%s[%d, %d]", first ? "" : ", ", r.cut.entries[c].length, b.piece_counts[c]);
      first = false;
    }
    j += "]}";
  }
  j += "],\n \"stock_used\": [";
  bool first = true;
  for (auto [length, bars] : optimiser::StockUsed(r)) {
    j += base::Format("%s[%d, %lld]", first ? "" : ", ", length, bars);
    first = false;
  }
  j += "]";
  const report::CutBars cut = report::ListCutBars(r);
  j += ",\n \"cut_bars\": [";
  for (std::size_t i = 0; i < cut.bars.size(); ++i) {
    const report::CutBar& bar = cut.bars[i];
    j += base::Format("%s{\"pattern\": %d, \"bar\": %d, \"stock_length\": %d, \"pieces\": [",
                      i == 0 ? "" : ",\n  ", bar.pattern, bar.bar, bar.stock_length);
    for (std::size_t k = 0; k < bar.pieces.size(); ++k)
      j += base::Format("%s{\"length\": %d, ", k == 0 ? "" : ", ", bar.pieces[k].length) +
           (piece_fields ? piece_fields(i, k)
                         : "\"mark\": " + base::JsonString(base::Cp932ToUtf8(bar.pieces[k].mark))) +
           "}";
    j += "]}";
  }
  j += "]";
  if (cut.truncated) j += ", \"cut_bars_truncated\": true";
  if (!cut.unplaced.empty()) {
    j += ",\n \"unplaced_marks\": [";
    for (std::size_t i = 0; i < cut.unplaced.size(); ++i)
      j += (i == 0 ? "{\"mark\": " : ", {\"mark\": ") +
           base::JsonString(base::Cp932ToUtf8(cut.unplaced[i].mark)) +
           base::Format(", \"length\": %d, \"count\": %d}", cut.unplaced[i].length,
                        cut.unplaced[i].count);
    j += "]";
  }
  if (r.work_limit_reached)
    j += base::Format(",\n \"work_limit_reached\": true, \"attempts_made\": %d", r.attempts_made);
  if (r.exact_run) {
    const optimiser::StockUse use = optimiser::PlanStock(r);
    j += ",\n \"regular_stock_length\": " + Number(use.regular) +
         ", \"regular_stock_length_bound\": " + Number(r.regular_bound) +
         ", \"priority_stock_length\": " + Number(use.priority) +
         ", \"priority_stock_length_bound\": " + Number(r.priority_bound) +
         ",\n \"proven_optimal\": " + (r.proven_optimal ? "true" : "false") +
         ", \"stopped\": " + (r.stopped ? "true" : "false");
    if (r.conditions.policy.offcuts_first) j += ",\n \"policy\": " + PolicyJson(r);
  }
  return j;
}

std::string PlanJson(const OptimiserRecords& r) {
  return "{\"status\": \"ok\", " + PlanFields(r) + "}\n";
}

std::string ShortageJson(const std::vector<optimiser::StockBarsUsed>& bars) {
  std::string j = "[";
  for (std::size_t i = 0; i < bars.size(); ++i)
    j += base::Format("%s{\"stock_length\": %d, \"bars\": %lld}", i == 0 ? "" : ", ",
                      bars[i].length, bars[i].bars);
  return j + "]";
}

std::string ShortJson(const OptimiserRecords& r) {
  std::string j = "{\"status\": \"short\", \"shortage\": " + ShortageJson(r.shortage);
  if (r.with_shortage != nullptr) j += ",\n \"plan\": {" + PlanFields(*r.with_shortage) + "}";
  return j + "}\n";
}

std::string PlanText(const OptimiserRecords& r) {
  const optimiser::CuttingPlan& plan = r.best;
  const optimiser::Conditions& c = r.conditions;
  std::string t;
  t += base::Cp932ToUtf8(c.project_name) + "  " + base::Cp932ToUtf8(c.member_name) + "\n";
  t += base::Format("余裕 %d mm  切り代 %d mm  優先素材 %d mm 未満\n\n", c.margin, c.kerf,
                    c.priority_length);
  t += "  素材長      本数   残材  切断材 (長さ×本数)\n";
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const BarPattern& b = plan.patterns[p];
    t += base::Format("%8d × %4d  %5.0f  ", r.stock.entries[b.stock_index].length, b.repeat_count,
                      b.remnant);
    bool first = true;
    for (int j = 1; j <= r.cut.count; ++j) {
      if (b.piece_counts[j] == 0) continue;
      t += base::Format("%s%d×%d", first ? "" : " + ", r.cut.entries[j].length, b.piece_counts[j]);
      first = false;
    }
    if (first) t += "(なし)";
    t += "\n";
  }
  t += "\n使用素材:";
  for (auto [length, bars] : optimiser::StockUsed(r)) t += base::Format("  %d×%lld", length, bars);
  t += base::Format("\n素材長計 %.0f mm  必要長 %.0f mm  残材 %.0f mm\n", plan.stock_length,
                    plan.required_length, plan.remnant_length);
  t += base::Format("残材率 %.3f %%  ロス率 %.3f %%\n", plan.remnant_rate, plan.loss_rate);
  for (const optimiser::PieceMark& m : report::ListCutBars(r).unplaced)
    t += "切断材のない符号: " + base::Cp932ToUtf8(m.mark) +
         base::Format(" (%d mm × %d)\n", m.length, m.count);
  if (r.work_limit_reached)
    t += base::Format("計算量の上限で打ち切り (%d回目の試行まで)\n", r.attempts_made);
  return t;
}

bool ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& allowed,
                  CommandOptions& o, std::ostream& err) {
  auto takes = [&](const std::string& name) {
    return std::find(allowed.begin(), allowed.end(), name) != allowed.end();
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--json" && takes(a)) {
      o.json = true;
    } else if (a == "--precision" && takes(a) && has_value) {
      const std::string& v = args[++i];
      const char* const names[] = {"low", "medium", "high", "optimal"};
      const auto* found = std::find(std::begin(names), std::end(names), v);
      if (found == std::end(names)) {
        err << "zarvel5: --precision に '" << v
            << "' は指定できません (low, medium, high, optimal のどれか)\n"
            << kUsage;
        return false;
      }
      o.precision = static_cast<int>(found - std::begin(names));
    } else if (a == "--tables" && takes(a) && has_value) {
      o.tables = args[++i];
      if (!ValidTables(o.tables)) {
        err << "zarvel5: --tables には none か、A, B, C, S (切断指示書), L (ラベル) の組み合わせ "
               "(A, AB, ABC, CL, S など) を指定して下さい\n"
            << kUsage;
        return false;
      }
    } else if (a == "--label-sheet" && takes(a) && has_value) {
      const std::string& v = args[++i];
      const auto& sheets = report::kLabelSheets;
      const auto found = std::find_if(sheets.begin(), sheets.end(), [&](const auto& sheet) {
        return v == base::Format("%d", sheet.per_sheet);
      });
      if (found == sheets.end()) {
        err << "zarvel5: --label-sheet には 12, 24, 44 のどれか (A4 のラベル用紙の面数) を"
               "指定して下さい\n"
            << kUsage;
        return false;
      }
      o.label_sheet = static_cast<int>(found - sheets.begin());
    } else if (a == "--save-job" && takes(a) && has_value) {
      o.save_job = args[++i];
    } else if (a == "--pdf" && takes(a) && has_value) {
      o.pdf = args[++i];
    } else if (a == "--png" && takes(a) && has_value) {
      o.png_dir = args[++i];
    } else if (a == "--csv" && takes(a) && has_value) {
      o.csv = args[++i];
    } else if (a == "--from-yard" && takes(a)) {
      o.from_yard = true;
    } else if (a == "--offcuts-first" && takes(a)) {
      o.offcuts_first = true;
    } else if (a == "--nest" && takes(a)) {
      o.nest = true;
    } else if (a == "--commit" && takes(a)) {
      o.commit = true;
    } else if (a == "--yard" && takes(a) && has_value) {
      o.yard = args[++i];
    } else if (a == "--allow-network-file" && takes(a)) {
      o.allow_network_file = true;
    } else if (a == "--section" && takes(a) && has_value) {
      o.section = args[++i];
    } else if (a == "--cut-csv" && takes(a) && has_value) {
      o.cut_csv = args[++i];
    } else if (a == "--keep" && takes(a) && has_value) {
      const std::string& v = args[++i];
      const bool digits =
          !v.empty() && v.size() <= 9 &&
          std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
      if (!digits) {
        err << "zarvel5: --keep には 0 以上の長さ (mm) を指定して下さい\n" << kUsage;
        return false;
      }
      o.keep = std::stoi(v);
      o.keep_given = true;
    } else if (!a.empty() && a[0] != '-' && takes("JOB...")) {
      o.jobs.push_back(a);
      if (o.job.empty()) o.job = a;
    } else if (!a.empty() && a[0] != '-' && o.job.empty()) {
      o.job = a;
    } else {
      if (a.empty() || a[0] != '-')
        err << "zarvel5: 仕事のファイルは一つだけ指定して下さい ('" << a << "')\n";
      else if (takes(a))
        err << "zarvel5: " << a << " の後に値がありません\n";
      else
        err << "zarvel5: " << a << " はこのコマンドでは使えません\n";
      err << kUsage;
      return false;
    }
  }
  if (o.job.empty()) {
    err << "zarvel5: 仕事のファイルを指定して下さい\n" << kUsage;
    return false;
  }
  if (o.offcuts_first && o.precision && *o.precision != optimiser::kPrecisionOptimal) {
    err << "zarvel5: --offcuts-first (端材優先) は --precision optimal (最適) でだけ使えます\n"
        << kUsage;
    return false;
  }
  if (o.offcuts_first && o.keep_given && o.keep < 1) {
    err << "zarvel5: --offcuts-first の --keep には 1 以上の長さ (mm) を指定して下さい\n" << kUsage;
    return false;
  }
  if ((o.commit || !o.section.empty()) && !o.from_yard) {
    err << "zarvel5: --commit と --section は --from-yard と一緒に指定して下さい。\n" << kUsage;
    return false;
  }
  return true;
}

EarlyExit CheckWindowStart(const std::vector<std::string>& args, bool has_display,
                           const std::function<bool(const std::string&)>& is_file,
                           std::ostream& out, std::ostream& err) {
  const std::string first = args.empty() ? std::string() : args[0];
  if (first == "--help" || first == "-h") {
    out << kUsage << kWindowUsage;
    return kExitPlanned;
  }
  if (!first.empty() && (first[0] == '-' || !is_file(first))) {
    // A mistyped command, an unknown option or a job that is not there.
    err << "zarvel5: '" << first
        << (first[0] == '-' ? "' は使えないオプションです\n"
                            : "' はコマンドでも仕事のファイルでもありません\n");
    err << kUsage << kWindowUsage;
    return kExitUsage;
  }
  if (!has_display) {
    err << kNoDisplayMessage << kUsage << kWindowUsage;
    return kExitUsage;
  }
  return std::nullopt;
}

EarlyExit HelpRequested(const std::vector<std::string>& args, std::ostream& out) {
  if (std::none_of(args.begin(), args.end(),
                   [](const std::string& a) { return a == "--help" || a == "-h"; }))
    return std::nullopt;
  out << kUsage << kWindowUsage;
  return kExitPlanned;
}

EarlyExit RefuseOutputOntoInput(const std::vector<InputFile>& inputs, const std::string& option,
                                const std::string& output, std::ostream& err) {
  for (const InputFile& input : inputs) {
    if (output.empty() || input.path.empty() || !job::SameFile(output, input.path)) continue;
    err << "zarvel5: " << option << " の出力先 " << output << " は読み込む" << input.what
        << "です。上書きせずに終わります。別の出力先を指定して下さい。\n";
    return kExitUsage;
  }
  return std::nullopt;
}

int ExitCode(const base::Error& e) {
  return session::FailureClass(e);
}

const char* StatusWord(const base::Error& e) {
  using Code = base::Error::Code;
  static const std::pair<Code, const char*> words[] = {
      {Code::kYardChanged, "yard-changed"},     {Code::kYardInvalid, "yard-invalid"},
      {Code::kYardReadOnly, "yard-read-only"},  {Code::kYardBusy, "yard-busy"},
      {Code::kYardCancelled, "yard-cancelled"}, {Code::kYardDamaged, "yard-damaged"},
      {Code::kYardForeign, "yard-foreign"},     {Code::kYardMismatch, "yard-mismatch"},
      {Code::kYardDiskFull, "yard-disk-full"},  {Code::kYardNetwork, "yard-network-file"},
      {Code::kYardFailed, "yard-failed"},       {Code::kOutdated, "outdated"},
      {Code::kCommitted, "committed"},          {Code::kNotFromYard, "not-from-yard"}};
  for (const auto& [code, word] : words)
    if (e.code == code) return word;
  return "yard-refused";
}

std::string ErrorJson(const base::Error& e) {
  return std::string("{\"status\": \"") + StatusWord(e) +
         "\", \"message\": " + base::JsonString(e.message) + "}\n";
}

namespace {

// Opens and runs the job, its notes and its failure's message on err.
base::Error OpenRunAndTell(const CommandOptions& o, JobRun& run, std::ostream& err,
                           const BeforeRun& before_run) {
  session::JobOptions j;
  j.job = o.job;
  j.cut_csv = o.cut_csv;
  j.precision = o.precision;
  j.save_job = o.save_job;
  j.list_doubtful_cells = o.list_doubtful_cells;
  j.from_yard = o.from_yard;
  j.yard = o.yard;
  j.section = o.section;
  j.yard_options = YardOptions(err, o.allow_network_file);
  j.policy = PolicyOptionsOf(o);
  session::BeforeRun hook;
  if (before_run) {
    hook = [&](job::JobForm& form) -> base::Error {
      const EarlyExit code = before_run(form);
      if (!code) return {};
      return base::Error::Fail(
          *code == kExitRunMessage ? base::Error::Code::kRunMessage : base::Error::Code::kUsage,
          {});
    };
  }
  std::vector<std::string> notes;
  const base::Error e = session::OpenAndRun(j, run, notes, hook);
  for (const std::string& n : notes) err << n << "\n";
  if (!e.message.empty())
    err << (e.code == base::Error::Code::kUnreadable || e.code == base::Error::Code::kUnwritable
                ? ""
                : "zarvel5: ")
        << e.message << "\n";
  return e;
}

bool IsYardError(const base::Error& e) {
  using Code = base::Error::Code;
  return e.code >= Code::kYardChanged || e.code == Code::kCommitted || e.code == Code::kOutdated ||
         e.code == Code::kNotFromYard;
}

}  // namespace

session::PolicyOptions PolicyOptionsOf(const CommandOptions& o) {
  session::PolicyOptions p;
  p.offcuts_first = o.offcuts_first;
  if (o.keep_given) p.keep = o.keep;
  return p;
}

EarlyExit OpenAndRun(const CommandOptions& o, JobRun& run, std::ostream& err,
                     const BeforeRun& before_run) {
  if (const base::Error e = OpenRunAndTell(o, run, err, before_run); !e) return ExitCode(e);
  return std::nullopt;
}

report::ReportOptions TableOptions(const CommandOptions& o, const job::JobForm& form) {
  report::ReportOptions r;
  if (o.tables.empty()) {
    r.table_a = form.TableA();
    r.table_b = form.TableB();
    r.table_c = form.TableC();
    r.saw_list = form.SawList();
    r.labels = form.Labels();
  } else {
    r.table_a = o.tables.find('A') != std::string::npos;
    r.table_b = o.tables.find('B') != std::string::npos;
    r.table_c = o.tables.find('C') != std::string::npos;
    r.saw_list = o.tables.find('S') != std::string::npos;
    r.labels = o.tables.find('L') != std::string::npos;
  }
  r.label_sheet = o.label_sheet >= 0 ? o.label_sheet : form.LabelSheetItem();
  r.keep = o.keep;
  return r;
}

int RunPlanCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (const EarlyExit code = HelpRequested(args, out)) return *code;
  CommandOptions o;
  if (!ParseOptions(
          args,
          {"--precision", "--json", "--save-job", "--csv", "--cut-csv", "--from-yard", "--yard",
           "--section", "--commit", "--keep", "--allow-network-file", "--offcuts-first"},
          o, err))
    return kExitUsage;
  o.list_doubtful_cells = true;
  // The job may be saved onto itself; nothing else may overwrite a file being read.
  const InputFile cut_list{o.cut_csv, "切断リスト"};
  if (const EarlyExit code =
          RefuseOutputOntoInput({{o.job, "仕事のファイル"}, cut_list}, "--csv", o.csv, err))
    return *code;
  if (const EarlyExit code = RefuseOutputOntoInput({cut_list}, "--save-job", o.save_job, err))
    return *code;
  JobRun run;
  if (const base::Error e = OpenRunAndTell(o, run, err, {}); !e) {
    if (o.json && IsYardError(e))
      out << ErrorJson(e);
    else if (o.json && ExitCode(e) == kExitRunMessage && run.outcome == run::RunOutcome::kShort)
      out << ShortJson(*run.records);
    else if (o.json && ExitCode(e) == kExitRunMessage)
      out << "{\"status\": \"" << StatusName(run.outcome) << "\"}\n";
    return ExitCode(e);
  }
  if (!o.csv.empty()) {
    if (const job::FileResult written = job::ReplaceFile(o.csv, report::PlanCsv(*run.records));
        !written) {
      err << session::TerminalText(job::CannotWriteMessage(o.csv, written.Reason())) << "\n";
      return kExitUsage;
    }
  }
  int64_t entry = 0;
  if (o.commit) {
    const int keep = o.keep_given ? o.keep : job::ReadYardKeep();
    if (const base::Error e = session::CommitRun(run, keep, entry); !e) {
      err << "zarvel5: " << e.message << "\n";
      if (o.json) out << ErrorJson(e);
      return ExitCode(e);
    }
  }
  std::string shown = o.json ? PlanJson(*run.records) : PlanText(*run.records);
  if (o.commit && o.json) {
    shown.erase(shown.size() - 2);  // the closing "}\n"
    shown += base::Format(",\n \"commit\": %lld}\n", static_cast<long long>(entry));
  } else if (o.commit) {
    shown += base::Format("在庫を更新しました（記録 %lld、取り消しは zarvel5 yard undo %lld）。\n",
                          static_cast<long long>(entry), static_cast<long long>(entry));
  }
  out << shown;
  return kExitPlanned;
}

std::string PagesText(int pages) {
  std::string t;
  for (int p = 1; p <= pages; ++p) {
    t += base::Format("page %d\n", p);
    for (const std::string& c : drawing::DescribePage(p + drawing::kFirstReportSlot))
      t += base::Cp932ToUtf8(c) + "\n";
  }
  return t;
}

EarlyExit PlanAndRecordPages(const CommandOptions& o, int& pages, std::ostream& err) {
  JobRun run;
  if (const EarlyExit code = OpenAndRun(o, run, err)) return code;
  if (session::RecordPages(run, TableOptions(o, *run.form), pages)) err << kTruncatedMessage;
  return std::nullopt;
}

int RunPagesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (const EarlyExit code = HelpRequested(args, out)) return *code;
  CommandOptions o;
  if (!ParseOptions(args, {"--precision", "--tables", "--keep", "--label-sheet", "--offcuts-first"},
                    o, err))
    return kExitUsage;
  int pages = 0;
  if (const EarlyExit code = PlanAndRecordPages(o, pages, err)) return *code;
  out << PagesText(pages);
  return kExitPlanned;
}

}  // namespace zarvel::cli
