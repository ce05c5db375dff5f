// A project's jobs planned together per material: the jobs of one section (and grade) become
// one cutting problem, so that a bar can carry pieces of several members. Every piece keeps the
// job and the mark it came from. The command, the order and the window use the same groups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "session/job_session.h"
#include "yard/yard.h"

namespace zarvel::session {

struct NestOptions {
  std::vector<std::string> jobs;  // job files (UTF-8 paths)
  std::optional<int> precision;   // else the highest of each group's jobs
  bool from_yard = false;         // each group's stock from the yard instead of its jobs'
  std::string yard;               // the yard's place (empty: the setting's)
  yard::OpenOptions yard_options;
  // Called with each group's job (its values in the form) before it plans: the place for what
  // the command line sets on every group alike, such as a remnant policy.
  BeforeRun before_run;
  // 最適's remnant policy asked on the command line, over the jobs' own.
  PolicyOptions policy;
  // Called before each group plans: its index, the number of groups and its name (UTF-8).
  std::function<void(std::size_t, std::size_t, const std::string&)> progress;
  // Each group's search: its progress label, Shift to end it early (each group keeps the best
  // plan found so far) and pauses. The window passes its own; the command line none.
  optimiser::SearchHost search;
  // False: the jobs read and grouped only (what the window shows before it plans them).
  bool plan = true;
};

struct NestJob {
  std::string file;     // as named
  std::string member;   // UTF-8, empty when the job could not be read
  std::string message;  // UTF-8: why it could not be read
  bool unreadable = false;
  bool duplicate = false;  // the same file named before: planned once
  long long pieces = 0;
  int lengths = 0;               // distinct piece lengths
  std::size_t group = SIZE_MAX;  // index into Nest::groups; none when left out
  optimiser::Conditions conditions;
};

// Who a piece of a group belongs to: the job (index into Nest::jobs) and its mark there (CP932,
// empty for a piece without a mark).
struct NestOwner {
  std::size_t job = 0;
  std::string mark;
};

struct NestGroup {
  std::string name;               // UTF-8: the section (or member name) with the grade
  std::string section;            // UTF-8 canonical name; empty when the table does not know it
  std::string grade;              // UTF-8
  std::vector<std::size_t> jobs;  // indices into Nest::jobs, in the order named
  long long pieces = 0;
  int lengths = 0;
  bool refused = false;  // the jobs disagree on a condition: not planned
  std::string message;   // UTF-8: why refused, or what the run said
  JobRun run;            // the group as one job, run (run.outcome)
  // Per entry of run.records->marks, whose pieces they are.
  std::vector<NestOwner> owners;
  bool Planned() const;
};

struct Nest {
  std::vector<NestJob> jobs;
  std::vector<NestGroup> groups;
  std::vector<std::string> notes;  // UTF-8
  std::string yard_place;          // where the yard was opened (with from_yard)
  std::unique_ptr<yard::Yard> yard;
  base::Error yard_error;  // the yard could not be opened
  // 0 every job read and every group planned; 1 a job left out or a group not planned; 2 no
  // job could be read at all or the yard could not be used.
  int ExitCode() const;
};

Nest BuildNest(const NestOptions& options);

// A piece of a group's plan with its owner.
struct NestPiece {
  int32_t length = 0;
  std::size_t job = 0;
  std::string mark;  // CP932; empty for a piece without a mark
};

struct NestBar {
  int pattern = 0;  // 1-based, in plan order
  int bar = 0;      // 1-based within the pattern's repeats
  int32_t stock_length = 0;
  std::vector<NestPiece> pieces;
};

// Every bar of a planned group in cutting order, each piece with its job and mark (the marks
// given out as the report gives them).
std::vector<NestBar> NestBars(const NestGroup& group);

// The text a group's pieces carry on its pages: the job's member name, then the mark (CP932).
std::string OwnerText(const std::string& member_cp932, const std::string& mark_cp932);

// The member names of a group's jobs (CP932, the file's name for a job without one), in the
// order named: the list its summary page shows.
std::vector<std::string> GroupMembers(const Nest& nest, const NestGroup& group);

// Commits every group's plan to the yard in one ledger entry, or nothing: refused unless every
// group was planned from the yard. `keep` is the shortest remnant kept as an offcut.
base::Error CommitNest(Nest& nest, int32_t keep, int64_t& entry);

}  // namespace zarvel::session
