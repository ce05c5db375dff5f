// The run command behind the "Zarvel実行" button: read the job, check it, search, and open the
// preview on success. The window, the command line and the tests all drive this same code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/control.h"
#include "optimiser/exact.h"
#include "optimiser/records.h"
#include "optimiser/search.h"
#include "run/grid.h"
#include "run/host.h"

namespace zarvel::run {

enum class JobField {
  kYear,
  kMonth,
  kDay,
  kProjectName,
  kMemberName,
  kUnitWeight,
  kMargin,
  kKerf,
  kPriorityLength,
};

// The job as the run reads it.
class RunForm {
 public:
  virtual ~RunForm() = default;
  virtual const base::Control& Field(JobField field) const = 0;
  virtual Grid& StockGrid() = 0;
  virtual Grid& CutGrid() = 0;
  virtual int PrecisionItem() const = 0;  // 0 低, 1 中, 2 高
  virtual bool VerticalOrder() const = 0;
  // The piece marks the job carries beside its cut list (none by default).
  virtual std::vector<optimiser::PieceMark> Marks() const { return {}; }
  // Bars of stock lengths that are measured offcuts from the yard (filled without the margin),
  // per length; the other bars of a length keep it. None for a job typed by hand.
  virtual std::vector<optimiser::MeasuredBars> MeasuredStock() const { return {}; }
  // The steel grade of the job's pieces (CP932; empty when not known).
  virtual std::string Grade() const { return {}; }
  // The remnant policy the job asks of 最適 (none by default).
  virtual optimiser::RemnantPolicy Policy() const { return {}; }
};

struct RunHost {
  MessageSink* messages = nullptr;
  const optimiser::KeyState* keys = nullptr;
  optimiser::ProgressLabel* progress = nullptr;
  optimiser::Clock* clock = nullptr;
  PreviewOpener* preview = nullptr;
  BusyCursor* cursor = nullptr;
  std::string version_text;  // CP932, for the preview's caption
};

enum class RunOutcome {
  kPlanned,     // the best plan is in records.best and the preview was opened (the work limit
                // may have cut the search short: records.work_limit_reached)
  kNoStock,     // the stock list is empty
  kNoCut,       // the cut list is empty
  kInfeasible,  // no attempt gave a valid plan, and no addition of stock would help
  kShort,       // the stock cannot cover the job: records.shortage says what to add
  kTooLarge,    // beyond the limits of what the search takes on
  kNegativeCondition,  // a negative margin or kerf: pieces would overlap
  kBadKeep,            // the remnant policy's keep length is below 1 mm or above the longest stock
};

// Reads the condition values from the form's fields into records.conditions.
void ReadConditions(optimiser::Conditions& conditions, const RunForm& form);

// Re-lays out both grids sorted and packed, as ticking the vertical-order box does.
void RelayoutGrids(optimiser::OptimiserRecords& records, RunForm& form);

// `user_invoked` is false when the precision changed under an open preview: empty lists then
// stop the command without a message. The three steps below, one after the other.
RunOutcome RunCommand(optimiser::OptimiserRecords& records, RunForm& form, const RunHost& host,
                      bool user_invoked);

// The run's first step, on the window's thread: closes the preview, reads the form into the
// records (the grids laid out again) and refuses what cannot run, with its message. kPlanned
// when the search may go on.
RunOutcome PrepareRun(optimiser::OptimiserRecords& records, RunForm& form, const RunHost& host,
                      bool user_invoked);

// The search on the records read, at `precision` (0 低 … 3 最適). It touches nothing but the
// records and the search host (progress, keys, pauses), so it may run on a thread of its own;
// its messages go to `messages` (may be null) in the order the run meets them.
RunOutcome ComputeRun(optimiser::OptimiserRecords& records, int precision,
                      const optimiser::SearchHost& search_host, MessageSink* messages);

// The last step, on the window's thread: a plan opens the preview.
void FinishRun(RunOutcome outcome, const RunHost& host);

// 最適 on lists read into `records`: the exact planner and the search at 高, the plan using less
// stock (regular, then priority) kept, so 最適 is never worse than 高. Returns the search's codes.
int RunOptimal(optimiser::OptimiserRecords& records, const optimiser::SearchHost& host);

// A search at 高 that makes more bar-fill draws than this marks a heavy job, on which the
// exact planner's search for a better plan gets the share OptimalEffort of its work limits, so
// that 最適 costs little more than 高 (counted, so every machine gives the same plan).
inline constexpr int64_t kHeavySearchDraws = 150'000'000;
double OptimalEffort(int64_t search_draws);

// The progress label while 最適 works, in plain words (CP932).
std::string OptimalProgressText(optimiser::OptimalStage stage, double gap_mm = -1);

// The label after a 最適 run: the remnant rate as the other precisions show it, then
// "最適解" or the gap to the bound in metres (rounded up), and the plan's pattern count. A stopped
// run says "(中止)" in place of the percentage done and names the gap as the plan's distance
// from the bound; a gap below 0 there means the bound was not reached before the stop.
std::string OptimalResultText(double remnant_rate, bool proven, double gap_mm, bool stopped,
                              int patterns);

// The note after a plan that the work limit cut short (CP932): how many attempts were made.
std::string WorkLimitMessage(int attempts_made);

// The refusal of a remnant policy whose keep length is below 1 mm or above the longest bar of
// `stock` (CP932); empty when the policy is off or its length fits.
std::string BadKeepMessage(const optimiser::RemnantPolicy& policy,
                           const optimiser::LengthList& stock);

// The refusal of a negative margin or kerf, naming each (CP932); empty when neither is.
std::string NegativeConditionMessage(const optimiser::Conditions& conditions);

// The second line after a short run (CP932): "不足: 12000 × 1 本 を追加すれば計画できます".
std::string ShortageText(const std::vector<optimiser::StockBarsUsed>& bars);

// Which piece no stock length can hold (CP932), with the longest bar and the margin; empty when
// every piece fits some bar.
std::string UnfitPieceText(const optimiser::OptimiserRecords& records);

// The preview's caption: application title, version and "版) 印刷プレビュー".
std::string PreviewCaption(const std::string& version_text);

}  // namespace zarvel::run
