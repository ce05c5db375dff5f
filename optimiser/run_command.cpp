#include "optimiser/run_command.h"

#include <memory>

#include "optimiser/exact.h"
#include "optimiser/grid_reader.h"
#include "optimiser/search.h"
#include "text/app_info.h"
#include "text/cp932.h"
#include "text/format.h"
#include "text/numbers.h"

namespace zarvel::optimiser {
namespace {

int32_t WholeNumber(const RunForm& form, JobField field) {
  return text::TruncToInt32(text::ControlNumber(form.Field(field)));
}

void Show(const RunHost& host, const std::string& cp932) {
  if (host.messages != nullptr) host.messages->ShowMessageText(cp932);
}
void Show(const RunHost& host, const char* utf8_literal) {
  Show(host, text::Lit(utf8_literal));
}

// 最適: the exact planner, and the search at 高 beside it unless the plan is proven optimal;
// the cheaper plan is kept, so 最適 is never worse than 高.
int RunOptimal(OptimiserRecords& records, const SearchHost& host) {
  auto searched = std::make_unique<OptimiserRecords>(records);
  const ExactResult exact = ExactPlan(records, host);
  records.exact_run = true;
  records.lower_bound = exact.lower_bound;
  records.proven_optimal = exact.proven_optimal;
  if (exact.applicable && exact.status == kSearchPlanned && exact.proven_optimal)
    return kSearchPlanned;
  const int search = RunSearch(*searched, host, AttemptsForPrecision(2));
  if (search != kSearchPlanned) return exact.status == kSearchPlanned ? kSearchPlanned : search;
  if (exact.status == kSearchPlanned && PlanCost(records) <= PlanCost(*searched))
    return kSearchPlanned;
  searched->exact_run = true;
  searched->lower_bound = exact.applicable ? exact.lower_bound : 0;
  searched->proven_optimal =
      exact.applicable && PlanCost(*searched) <= exact.lower_bound + 1e-6 * exact.lower_bound;
  records = *searched;
  if (host.progress != nullptr)
    host.progress->SetProgressText(
        OptimalProgressText(PlanCost(records), records.lower_bound, false));
  return kSearchPlanned;
}

}  // namespace

void ReadConditions(Conditions& c, const RunForm& form) {
  c.year = WholeNumber(form, JobField::kYear);
  c.month = WholeNumber(form, JobField::kMonth);
  c.day = WholeNumber(form, JobField::kDay);
  c.project_name = std::string(text::TrimBlanks(form.Field(JobField::kProjectName).Text()));
  c.member_name = std::string(text::TrimBlanks(form.Field(JobField::kMemberName).Text()));
  c.unit_weight = static_cast<double>(text::ControlNumber(form.Field(JobField::kUnitWeight)));
  c.margin = WholeNumber(form, JobField::kMargin);
  c.kerf = WholeNumber(form, JobField::kKerf);
  c.priority_length = WholeNumber(form, JobField::kPriorityLength);
}

int RelayoutGrids(OptimiserRecords& records, RunForm& form) {
  const bool vertical = form.VerticalOrder();
  int dropped = ReadGridIntoList(records.stock, form.StockGrid(), vertical);
  dropped += ReadGridIntoList(records.cut, form.CutGrid(), vertical);
  return dropped;
}

std::string WorkLimitMessage(int attempts_made) {
  return text::Format(text::Lit("計算量の上限に達したため、%d回目の試行までで打ち切りました。\n"
                                "$それまでで最良の計画を表示します。")
                          .c_str(),
                      attempts_made);
}

std::string PreviewCaption(const std::string& version_text) {
  return text::ApplicationTitle() + " (" + version_text + text::Lit("版) 印刷プレビュー");
}

RunOutcome RunCommand(OptimiserRecords& records, RunForm& form, const RunHost& host,
                      bool user_invoked) {
  if (host.preview != nullptr) host.preview->ClosePreview();
  ReadConditions(records.conditions, form);
  RelayoutGrids(records, form);

  if (records.stock.Empty()) {
    if (user_invoked) Show(host, "[#×]素材が未入力です。");
    return RunOutcome::kNoStock;
  }
  if (records.cut.Empty()) {
    if (user_invoked) Show(host, "[#×]切断材が未入力です。");
    return RunOutcome::kNoCut;
  }

  // Pieces so short against bars so long that filling one bar alone would take more work than
  // a whole run may: the search cannot plan it at all.
  if (!WithinSearchLimits(records)) {
    if (user_invoked) Show(host, "[#×]1本の素材から切り出す切断材が多すぎます。");
    return RunOutcome::kTooLarge;
  }

  // Alt held at the start continues the generator, which usually gives another plan.
  if (host.keys == nullptr || !host.keys->IsKeyDown(kKeyAlt)) records.random.Seed(0);
  const int attempts = AttemptsForPrecision(form.PrecisionItem());

  if (host.cursor != nullptr) host.cursor->BeginBusy();
  const SearchHost search_host{host.progress, host.keys, host.clock};
  records.exact_run = false;
  records.work_limit_reached = false;
  const int result = form.PrecisionItem() == kPrecisionOptimal
                         ? RunOptimal(records, search_host)
                         : RunSearch(records, search_host, attempts);
  if (result != kSearchPlanned) {
    if (result == kSearchTooLarge) {
      Show(host,
           "[#×]計算量が多すぎるため、Zarvel不能です。\n切断材の本数か種類を減らして下さい。");
    } else {
      Show(host, "[#×]素材数不足か素材長が足りないため、Zarvel不能です。");
    }
    if (host.cursor != nullptr) host.cursor->EndBusy();
    return result == kSearchTooLarge ? RunOutcome::kTooLarge : RunOutcome::kInfeasible;
  }
  if (host.cursor != nullptr) host.cursor->EndBusy();
  if (records.work_limit_reached) Show(host, WorkLimitMessage(records.attempts_made));

  if (host.preview != nullptr) host.preview->OpenPreview(PreviewCaption(host.version_text));
  return RunOutcome::kPlanned;
}

}  // namespace zarvel::optimiser
