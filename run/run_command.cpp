#include "run/run_command.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "base/app_info.h"
#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "optimiser/exact.h"
#include "optimiser/remnant_policy.h"
#include "optimiser/search.h"
#include "run/grid_reader.h"

namespace zarvel::run {
namespace {

int32_t WholeNumber(const RunForm& form, JobField field) {
  return base::TruncToInt32(base::ControlNumber(form.Field(field)));
}

void Show(const RunHost& host, const std::string& cp932) {
  if (host.messages != nullptr) host.messages->ShowMessageText(cp932);
}
void Show(const RunHost& host, const char* utf8_literal) {
  Show(host, base::Lit(utf8_literal));
}

// Whether plan a is better than plan b: less stock (regular, then priority), then fewer patterns;
// with the remnant policy, by its order.
bool Better(const optimiser::OptimiserRecords& a, const optimiser::OptimiserRecords& b) {
  if (a.conditions.policy.offcuts_first) return optimiser::PolicyBetter(a, b);
  const optimiser::StockUse x = optimiser::PlanStock(a), y = optimiser::PlanStock(b);
  if (optimiser::UsesLess(x, y) || optimiser::UsesLess(y, x)) return optimiser::UsesLess(x, y);
  return a.best.pattern_count < b.best.pattern_count;
}

// The planner's stages on the progress label.
optimiser::StageReport StageLabel(optimiser::ProgressLabel* label) {
  if (label == nullptr) return {};
  return [label](optimiser::OptimalStage stage, double gap_mm) {
    label->SetProgressText(OptimalProgressText(stage, gap_mm));
  };
}

}  // namespace

std::string OptimalProgressText(optimiser::OptimalStage stage, double gap_mm) {
  std::string line;
  if (stage == optimiser::OptimalStage::kBound) {
    line = base::Lit("下限を計算中");
  } else if (stage == optimiser::OptimalStage::kPatterns) {
    line = base::Lit("パターン数を削減中");
  } else if (gap_mm < 0) {
    line = base::Lit("解を探索中");
  } else {
    line = base::Lit("探索中 下限まで") + base::Format(" %.1f m", std::ceil(gap_mm / 100) / 10);
  }
  return line + base::Lit("\n[Shift]キーで中止");
}

std::string OptimalResultText(double remnant_rate, bool proven, double gap_mm, bool stopped,
                              int patterns) {
  // Each pattern is a set-up of the saw.
  const std::string count = base::Format(base::Lit(" %d パターン").c_str(), patterns);
  const std::string gap = base::Format(" %.1f m", std::ceil(std::max(gap_mm, 0.0) / 100) / 10);
  if (stopped && !proven) {
    // Said plainly: the run did not finish, and the plan is this far above the bound (when the
    // bound was reached at all before the stop).
    const std::string line = base::Format(base::Lit("(中止) %7.3f %%\n").c_str(), remnant_rate);
    if (gap_mm < 0) return line + base::Lit("下限は未計算") + count;
    return line + base::Lit("下限との差") + gap + count;
  }
  const std::string line = base::Format("(%3d) %7.3f %%\n", 100, remnant_rate);
  if (proven) return line + base::Lit("最適解") + count;
  if (gap_mm < 0) return line + base::Lit("下限は未計算") + count;  // its work ran out first
  return line + base::Lit("下限まで") + gap + base::Lit(" 以内") + count;
}

namespace {
constexpr int64_t kWideDrawsPerWorkUnit = 10;
}  // namespace

double OptimalEffort(int64_t search_draws) {
  if (search_draws <= kHeavySearchDraws) return 1.0;
  return static_cast<double>(kHeavySearchDraws) / static_cast<double>(search_draws);
}

int RunOptimal(optimiser::OptimiserRecords& records, const optimiser::SearchHost& host) {
  // 高 first: its plan is the one to better, its draws tell how heavy the job is, and a stopped
  // run keeps the better of the two.
  auto searched = std::make_unique<optimiser::OptimiserRecords>(records);
  int64_t draws = 0;
  const int search = optimiser::RunSearch(*searched, host, optimiser::AttemptsForPrecision(2),
                                          optimiser::kWorkBudget, &draws);
  optimiser::ExactOptions options;
  if (search == optimiser::kSearchPlanned) options.start = searched.get();
  options.effort = OptimalEffort(draws);
  // A group's list beyond one grid: the exact step gets a tenth of 高's draws in its own work
  // units (about half of 高's processor time on lists of 200 to 2 000 lengths), and otherwise
  // keeps 高's plan.
  if (records.Wide()) options.work_budget = std::max<int64_t>(draws / kWideDrawsPerWorkUnit, 1);
  options.report = StageLabel(host.progress);
  const optimiser::ExactResult exact =
      optimiser::ExactPlan(records, host, optimiser::kDefaultGuardSeconds, options);
  int status = exact.status;
  if (search == optimiser::kSearchPlanned &&
      (exact.status != optimiser::kSearchPlanned || Better(*searched, records))) {
    records = *searched;
    status = optimiser::kSearchPlanned;
  } else if (exact.status != optimiser::kSearchPlanned) {
    status = search;
  }
  records.random = searched->random;  // Alt continues from where the run left the generator
  records.exact_run = true;
  records.regular_bound = exact.regular_bound;
  records.priority_bound = exact.priority_bound;
  records.scrap_bound = exact.scrap_bound;
  records.stopped = exact.stopped;
  const optimiser::StockUse use = optimiser::PlanStock(records);
  const bool policy = records.conditions.policy.offcuts_first;
  records.proven_optimal =
      exact.applicable && status == optimiser::kSearchPlanned &&
      optimiser::ReachesBound(use.regular, exact.regular_bound) &&
      (!policy || optimiser::ReachesBound(optimiser::PolicyOf(records).scrap, exact.scrap_bound)) &&
      optimiser::ReachesBound(use.priority, exact.priority_bound);
  if (status == optimiser::kSearchPlanned && exact.applicable && host.progress != nullptr) {
    // Stopped before the bound was computed, there is no distance to name.
    const bool no_bound = (exact.stopped || exact.out_of_work) && exact.regular_bound <= 0;
    const double gap = no_bound ? -1
                                : use.regular - exact.regular_bound +
                                      std::max(0.0, use.priority - exact.priority_bound);
    host.progress->SetProgressText(OptimalResultText(records.best.remnant_rate,
                                                     records.proven_optimal, gap, exact.stopped,
                                                     records.best.pattern_count));
  }
  return status;
}

namespace {

constexpr const char* kShortMessage = "[#×]素材数不足か素材長が足りないため、Zarvel不能です。";

// After a run the stock could not cover: the least addition that makes the job plannable, and
// the plan with it (the least stock of that job, or the addition's own plan).
RunOutcome Shortfall(optimiser::OptimiserRecords& records, const RunHost& host,
                     const optimiser::SearchHost& search) {
  if (const std::string unfit = UnfitPieceText(records); !unfit.empty()) {
    Show(host, base::Lit(kShortMessage) + "\n" + unfit);
    return RunOutcome::kInfeasible;
  }
  auto with = std::make_shared<optimiser::OptimiserRecords>(records);
  with->exact_run = false;  // the plan with the addition carries no bounds of its own
  with->work_limit_reached = false;
  const optimiser::Shortage shortage = optimiser::LeastAddition(
      *with, search, optimiser::kDefaultGuardSeconds, StageLabel(search.progress));
  if (!shortage.found) {
    Show(host, kShortMessage);
    return RunOutcome::kInfeasible;
  }
  if (shortage.bars.empty()) {  // the search missed a plan the stock allows
    records = *with;
    if (search.progress != nullptr)
      search.progress->SetProgressText(
          base::Format("(%3d) %7.3f %%", 100, records.best.remnant_rate));
    return RunOutcome::kPlanned;
  }
  records.shortage = shortage.bars;
  records.with_shortage = with;
  Show(host, base::Lit(kShortMessage) + "\n" + ShortageText(shortage.bars));
  return RunOutcome::kShort;
}

}  // namespace

std::string ShortageText(const std::vector<optimiser::StockBarsUsed>& bars) {
  std::string t = base::Lit("不足: ");
  for (std::size_t i = 0; i < bars.size(); ++i)
    t += (i == 0 ? std::string() : base::Lit("、")) +
         base::Format(base::Lit("%d × %lld 本").c_str(), bars[i].length, bars[i].bars);
  return t + base::Lit(" を追加すれば計画できます");
}

std::string UnfitPieceText(const optimiser::OptimiserRecords& r) {
  int64_t longest = 0;
  for (int k = 1; k <= r.stock.count; ++k)
    longest = std::max<int64_t>(longest, r.stock.entries[k].length);
  for (int j = 1; j <= r.cut.count; ++j) {
    const int32_t piece = r.cut.entries[j].length;
    if (piece > longest + r.conditions.margin)
      return base::Format(
          base::Lit("%d mm の切断材を取れる素材がありません (最長の素材 %lld mm、素材の余裕 %d mm)")
              .c_str(),
          piece, static_cast<long long>(longest), r.conditions.margin);
  }
  return {};
}

void ReadConditions(optimiser::Conditions& c, const RunForm& form) {
  c.year = WholeNumber(form, JobField::kYear);
  c.month = WholeNumber(form, JobField::kMonth);
  c.day = WholeNumber(form, JobField::kDay);
  c.project_name = std::string(base::TrimBlanks(form.Field(JobField::kProjectName).Text()));
  c.member_name = std::string(base::TrimBlanks(form.Field(JobField::kMemberName).Text()));
  c.grade = form.Grade();
  c.unit_weight = static_cast<double>(base::ControlNumber(form.Field(JobField::kUnitWeight)));
  c.margin = WholeNumber(form, JobField::kMargin);
  c.kerf = WholeNumber(form, JobField::kKerf);
  c.priority_length = WholeNumber(form, JobField::kPriorityLength);
  c.policy = form.Policy();
}

void RelayoutGrids(optimiser::OptimiserRecords& records, RunForm& form) {
  const bool vertical = form.VerticalOrder();
  ReadGridIntoList(records.stock, form.StockGrid(), vertical);
  ReadGridIntoList(records.cut, form.CutGrid(), vertical);
}

std::string WorkLimitMessage(int attempts_made) {
  return base::Format(base::Lit("計算量の上限に達したため、%d回目の試行までで打ち切りました。\n"
                                "$それまでで最良の計画を表示します。")
                          .c_str(),
                      attempts_made);
}

std::string BadKeepMessage(const optimiser::RemnantPolicy& policy,
                           const optimiser::LengthList& stock) {
  if (!policy.offcuts_first) return {};
  int32_t longest = 0;
  for (int k = 1; k <= stock.count; ++k) longest = std::max(longest, stock.entries[k].length);
  if (policy.keep >= 1 && policy.keep <= longest) return {};
  return base::Format(base::Lit("[#×]端材優先の残す長さ (%d mm) は 1 mm 以上、最長の素材 (%d mm) "
                                "以下にして下さい。")
                          .c_str(),
                      policy.keep, longest);
}

std::string NegativeConditionMessage(const optimiser::Conditions& c) {
  std::string lines;
  for (const auto& [name, value] :
       {std::pair{"素材の余裕", c.margin}, std::pair{"切り代", c.kerf}}) {
    if (value >= 0) continue;
    lines += (lines.empty() ? base::Lit("[#×]") : std::string("\n")) + base::Lit(name) +
             base::Format(base::Lit("が負の値 (%d ㎜) です。").c_str(), value);
  }
  if (!lines.empty()) lines += base::Lit("\n$切断材が重なるため、0 以上にして下さい。");
  return lines;
}

std::string PreviewCaption(const std::string& version_text) {
  return base::ApplicationTitle() + " (" + version_text + base::Lit("版) 印刷プレビュー");
}

RunOutcome PrepareRun(optimiser::OptimiserRecords& records, RunForm& form, const RunHost& host,
                      bool user_invoked) {
  if (host.preview != nullptr) host.preview->ClosePreview();
  ReadConditions(records.conditions, form);
  RelayoutGrids(records, form);
  records.marks = form.Marks();
  optimiser::MarkMeasured(records.stock, form.MeasuredStock());
  records.shortage.clear();
  records.with_shortage.reset();

  if (records.stock.Empty()) {
    if (user_invoked) Show(host, "[#×]素材が未入力です。");
    return RunOutcome::kNoStock;
  }
  if (records.cut.Empty()) {
    if (user_invoked) Show(host, "[#×]切断材が未入力です。");
    return RunOutcome::kNoCut;
  }

  // A negative margin or kerf would let pieces overlap on a bar.
  if (const std::string negative = NegativeConditionMessage(records.conditions);
      !negative.empty()) {
    if (user_invoked) Show(host, negative);
    return RunOutcome::kNegativeCondition;
  }

  // The policy applies at 最適 only; there its keep length must be one a bar can leave.
  if (form.PrecisionItem() != optimiser::kPrecisionOptimal) records.conditions.policy = {};
  if (const std::string bad = BadKeepMessage(records.conditions.policy, records.stock);
      !bad.empty()) {
    if (user_invoked) Show(host, bad);
    return RunOutcome::kBadKeep;
  }

  // Pieces so short against bars so long that filling one bar alone would take more work than
  // a whole run may: the search cannot plan it at all.
  if (!optimiser::WithinSearchLimits(records)) {
    if (user_invoked) Show(host, "[#×]1本の素材から切り出す切断材が多すぎます。");
    return RunOutcome::kTooLarge;
  }

  // Alt held at the start continues the generator, which usually gives another plan.
  if (host.keys == nullptr || !host.keys->IsKeyDown(optimiser::kKeyAlt)) records.random.Seed(0);
  return RunOutcome::kPlanned;
}

RunOutcome ComputeRun(optimiser::OptimiserRecords& records, int precision,
                      const optimiser::SearchHost& search_host, MessageSink* messages) {
  RunHost host;
  host.messages = messages;
  const int attempts = optimiser::AttemptsForPrecision(precision);
  records.exact_run = false;
  records.work_limit_reached = false;
  if (precision != optimiser::kPrecisionOptimal) records.conditions.policy = {};
  const int result = precision == optimiser::kPrecisionOptimal
                         ? RunOptimal(records, search_host)
                         : optimiser::RunSearch(records, search_host, attempts);
  if (result == optimiser::kSearchTooLarge) {
    Show(host, "[#×]計算量が多すぎるため、Zarvel不能です。\n切断材の本数か種類を減らして下さい。");
    return RunOutcome::kTooLarge;
  }
  if (result != optimiser::kSearchPlanned) {
    const RunOutcome outcome = Shortfall(records, host, search_host);
    if (outcome != RunOutcome::kPlanned) {
      if (search_host.progress != nullptr)  // the label as a run without a plan leaves it
        search_host.progress->SetProgressText(
            base::Format("(%3d) %7.3f %%", 100, optimiser::kRateSentinel));
      return outcome;
    }
  }
  if (records.work_limit_reached) Show(host, WorkLimitMessage(records.attempts_made));
  return RunOutcome::kPlanned;
}

void FinishRun(RunOutcome outcome, const RunHost& host) {
  if (outcome == RunOutcome::kPlanned && host.preview != nullptr)
    host.preview->OpenPreview(PreviewCaption(host.version_text));
}

RunOutcome RunCommand(optimiser::OptimiserRecords& records, RunForm& form, const RunHost& host,
                      bool user_invoked) {
  if (const RunOutcome ready = PrepareRun(records, form, host, user_invoked);
      ready != RunOutcome::kPlanned)
    return ready;
  if (host.cursor != nullptr) host.cursor->BeginBusy();
  const RunOutcome outcome = ComputeRun(records, form.PrecisionItem(),
                                        {host.progress, host.keys, host.clock}, host.messages);
  if (host.cursor != nullptr) host.cursor->EndBusy();
  FinishRun(outcome, host);
  return outcome;
}

}  // namespace zarvel::run
