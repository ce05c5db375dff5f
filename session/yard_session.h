// Every change of the yard, from the window and the command line alike: opening it, filling a
// job's stock from it, committing a plan and undoing a commit, adding, taking and importing
// bars. A commit is refused for a plan older than its job, for a plan committed already, and
// for a plan whose bars are no longer in the yard.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/error.h"
#include "job/job_window.h"
#include "optimiser/records.h"
#include "run/run_command.h"
#include "session/plan_state.h"
#include "yard/stock.h"
#include "yard/yard.h"

namespace zarvel::session {

// The yard's status in the one shape of errors.
base::Error FromStatus(const yard::Status& status);

// The yard's place: `place` when given, else $ZARVEL5_YARD, else the setting (在庫の場所), else
// the default file (yard::YardPath).
std::string YardPlace(const std::string& place);

// Opens the yard at `place` (a file or a server; empty: YardPlace's choice).
base::Error OpenYardAt(const std::string& place, std::unique_ptr<yard::Yard>& yard,
                       std::string* opened_place = nullptr, const yard::OpenOptions& options = {});

// The stock a job took from the yard, and the yard's revision when it was read.
struct YardFill {
  std::string place;  // where the yard is
  yard::StockFill fill;
  int64_t revision = -1;
  std::string note;  // what did not fit the grid (UTF-8); empty when everything did
};

// Writes the yard's stock of `section` (any spelling) into the form's stock grid, its cells
// emptied first, and notes the measured lengths in `yard_stock`. Refused (and nothing changed)
// when the section is unknown or the yard holds none of it.
base::Error FillStock(yard::Yard& yard, const std::string& place, const std::string& section,
                      run::RunForm& form, job::YardStockNote& yard_stock, YardFill& filled);

// After a run of a job whose stock came from `filled` (null: the job was opened with yard stock
// but not filled in this session), the plan's yard part of what it was made from.
void NoteYardBasis(PlanState& plan, const YardFill* filled);

// What a commit names: the job's file name, the plan's date and the shortest remnant kept.
struct CommitRequest {
  std::string job_path;  // the job's file (its name goes into the ledger); may be empty
  int32_t keep = yard::kDefaultKeep;
};

// The ledger's date of a plan: the job's date as "2026-12-07".
std::string CommitDate(const optimiser::Conditions& conditions);

// A commit checked and built, waiting for the user's yes: the change and what it does.
struct PreparedCommit {
  yard::Change change;  // the bars taken (each expecting the count the plan saw), remnants kept
  std::string summary;  // for the user (UTF-8)
};

// Checks the plan against the job and the yard as they stand and builds its commit: the bars
// it cuts taken, its remnants of at least `keep` kept.
base::Error PrepareCommit(yard::Yard& yard, const optimiser::OptimiserRecords& records,
                          PlanState& plan, run::RunForm& form, const job::YardStockNote& yard_stock,
                          const CommitRequest& request, PreparedCommit& commit);

// Applies a prepared commit in one transaction; the plan is then committed as `entry`.
base::Error ApplyCommit(yard::Yard& yard, PlanState& plan, const PreparedCommit& commit,
                        int64_t& entry);

// Undoes a commit by a new ledger entry; a plan committed as `entry` may be committed again.
base::Error UndoCommit(yard::Yard& yard, int64_t entry, PlanState* plan, int64_t& undo_entry);

// Bars added by hand, and bars taken away by hand.
base::Error AddBars(yard::Yard& yard, const yard::NewItem& item, int64_t& entry);
base::Error TakeBars(yard::Yard& yard, int64_t item, int64_t count, int64_t& entry);
base::Error SetPlace(yard::Yard& yard, int64_t item, const std::string& location,
                     const std::string& lot);
// A stock list (yard::ReadStockCsv's form) added; `replace` empties its sections first.
base::Error ImportStock(yard::Yard& yard, const std::string& csv_bytes, bool replace,
                        std::size_t& items, int64_t& entry);

// Copies the yard at `from` into the yard at `to` (a file or a server either way), items and
// ledger as they stand; a target that holds anything is refused unless `replace`. `items` and
// `entries` say what was copied.
base::Error CopyYard(const std::string& from, const std::string& to, bool replace,
                     const yard::OpenOptions& options, std::size_t& items, std::size_t& entries);

// A correcting ledger entry for the mismatches the user confirmed (Yard::Repair).
base::Error RepairYard(yard::Yard& yard, const std::vector<yard::Mismatch>& confirmed,
                       int64_t& entry);

// A copy of a yard file beside it or at `copy`, and a yard put back from such a copy (itself a
// ledger entry of the restored yard; the file as it was saved first, named in `saved`).
base::Error BackUpYardFile(const std::string& path, const std::string& copy,
                           const yard::OpenOptions& options);
base::Error RestoreYardFile(const std::string& path, const std::string& copy, int64_t& entry,
                            std::string& saved, const yard::OpenOptions& options);

}  // namespace zarvel::session
