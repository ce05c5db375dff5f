// A plan and what it was made from. Every value the run read of the job is kept beside the plan,
// with the yard's revision when its stock came from the yard; a commit, a print or a CSV of the
// plan compares them with the job as it stands now, so a plan older than its job is never
// committed, printed or written as if it were current, and a plan is committed once.
#pragma once

#include <cstdint>
#include <string>

#include "job/job_window.h"
#include "optimiser/records.h"
#include "run/run_command.h"
#include "yard/stock.h"

namespace zarvel::session {

// Every value a run reads that decides its plan, as one text: both lists as the run reads them
// (sorted and packed), margin, kerf, priority length, precision, the marks, and the stock's
// measured lengths with the yard's section. The grids are read from copies: the form is not
// changed.
std::string JobContent(run::RunForm& form, const job::YardStockNote& yard_stock);

// What a plan was made from.
struct PlanBasis {
  std::string content;         // JobContent at the run
  std::string yard;            // the yard's place when the stock came from it; else empty
  int64_t yard_revision = -1;  // the yard's revision when the stock was read from it
};

// The plan in the records and its history: made, from what, committed as which ledger entry.
struct PlanState {
  bool planned = false;
  PlanBasis basis;
  yard::StockFill fill;   // the yard's stock behind the plan (a plan from the yard)
  int64_t committed = 0;  // the ledger entry of its commit; 0 while not committed

  // Forgets the plan (another job, a run without a plan).
  void Clear() { *this = PlanState{}; }
};

enum class Freshness {
  kNone,      // no plan
  kCurrent,   // the plan is of the job as it stands
  kOutdated,  // the job changed since the run
};

Freshness PlanFreshness(const PlanState& plan, run::RunForm& form,
                        const job::YardStockNote& yard_stock);

// What the user is told of an outdated plan before `action` ("CSV出力", "印刷"): CP932, in the
// message dialog's style.
std::string OutdatedPlanMessage(const char* action_utf8);

}  // namespace zarvel::session
