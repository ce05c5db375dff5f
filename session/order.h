// The steel a project needs: several jobs planned and their stock added up per material (a
// recognised section with its grade, else a member name with its unit weight), bars bought apart
// from bars taken from the rack or the yard, the offcuts kept, and the jobs that could not be
// planned with what they lack. The commands print it (text, CSV, JSON).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalog/sections.h"
#include "optimiser/records.h"
#include "session/job_session.h"
#include "yard/yard.h"

namespace zarvel::session {

// The material a job's pieces are: the section the table recognises in the member name (with the
// usage words around it) and the grade when the job has one; otherwise the member name with its
// unit weight. Jobs of one key are one steel, bought together and nested together.
struct GroupKey {
  std::string key;
  std::string name;   // UTF-8: the section's name (or the member name), with the grade
  std::string usage;  // UTF-8: the usage words around a recognised section
  const catalog::Section* section = nullptr;
};

GroupKey GroupOf(const std::string& member_cp932, double unit_weight,
                 const std::string& grade_cp932);

// Bars, their length and weight. Weights are whole kilograms, each line's rounded as it is shown,
// so that every total is the sum of the lines printed above it.
struct OrderTotals {
  long long bars = 0;
  double total_length = 0;  // mm
  long long weight_kg = 0;  // of the bars with a unit weight
};

struct OrderLine {
  int stock_length = 0;
  double unit_weight = 0;  // kg/m of the jobs behind the line; 0: none given
  bool rack = false;       // from the rack: stock below the job's priority length, or the yard's
  OrderTotals totals;
};

// One group of the order: a section the table recognises in the member names (whatever usage
// words come with it), otherwise one member name with one unit weight.
struct OrderMember {
  std::string name;                  // UTF-8: the section's name, else the member name
  std::string section;               // UTF-8 canonical name; empty when none is recognised
  std::vector<std::string> usages;   // UTF-8 usage words of its jobs, each once
  std::vector<double> unit_weights;  // each weight its jobs gave, in the order met
  double table_weight = 0;           // the section table's kg/m; 0 without a section
  bool weighed = true;               // every job of the group gave a unit weight
  std::vector<OrderLine> lines;      // bought first, then the rack's; by stock length
  OrderTotals bought;
  OrderTotals rack;
};

struct Offcut {
  std::string member;  // UTF-8, the group's name
  int length = 0;
  long long count = 0;
};

struct OrderJob {
  std::string file;
  std::string member;                              // UTF-8, empty when the job could not be read
  std::string message;                             // UTF-8; empty when planned
  std::string lacks;                               // UTF-8: for a job short of stock, what it lacks
  std::vector<optimiser::StockBarsUsed> shortage;  // the least bars to add, when one helps
  int exit_code = 0;       // 0 planned; 1 refused by its job or the run, 2 unreadable
  bool duplicate = false;  // the same file named before: planned once
};

struct Order {
  std::vector<OrderJob> jobs;
  std::vector<OrderMember> members;  // in the order the jobs name them
  std::vector<Offcut> offcuts;       // by member, then longest first
  std::vector<std::string> notes;    // UTF-8
  OrderTotals bought;
  OrderTotals rack;
  bool weight_partial = false;  // some bars have no unit weight: the weights are partial
  int keep = 0;
  bool from_yard = false;    // the jobs also took the yard's stock for their sections
  std::string yard_message;  // UTF-8: why the yard could not be read
  yard::Status yard_status;  // and its status
  long long Failed() const;
};

struct OrderOptions {
  std::vector<std::string> jobs;
  std::optional<int> precision;  // each job's own when not given
  int keep = 1000;               // the shortest offcut listed, mm
  bool from_yard = false;        // the yard's stock for each job's section beside its own
  std::string yard;              // the yard's place
  bool allow_network_file = false;
  PolicyOptions policy;  // each job's remnant policy at 最適
  bool nest = false;     // the jobs of one material planned together (session/nest.h)
};

// Called before each job: its index, the number of jobs and its file.
using OrderProgress = std::function<void(std::size_t, std::size_t, const std::string&)>;

Order BuildOrder(const OrderOptions& options, const OrderProgress& progress = {});

// The numbers as the order shows them: metres with three decimals, tonnes (or "-" when not
// weighed), kg/m with two (or "-").
std::string Metres(double mm);
std::string Tonnes(long long kg, bool weighed);
std::string KgPerMetre(double kg_per_m);

}  // namespace zarvel::session
