// "zarvel5 order": the steel to buy for a project: every job planned, the bars summed per
// member and stock length, and the offcuts worth keeping.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/plan_command.h"

namespace zarvel::cli {

struct OrderLine {
  int stock_length = 0;
  long long bars = 0;
  double total_length = 0;  // mm
  double weight = 0;        // t; 0 when the member has no unit weight
};

struct OrderMember {
  std::string name;              // CP932
  bool weighed = true;           // every job of the member gave a unit weight
  std::vector<OrderLine> lines;  // by stock length, ascending
  long long bars = 0;
  double total_length = 0;
  double weight = 0;
};

struct Offcut {
  std::string member;  // CP932
  int length = 0;
  long long count = 0;
};

struct OrderJob {
  std::string file;
  std::string member;   // CP932, empty when the job could not be read
  std::string message;  // UTF-8; empty when planned
  int exit_code = kExitPlanned;
};

struct Order {
  std::vector<OrderJob> jobs;
  std::vector<OrderMember> members;  // in the order the jobs name them
  std::vector<Offcut> offcuts;       // by member, then longest first
  long long bars = 0;
  double total_length = 0;
  double weight = 0;
  int keep = 0;
};

// Plans every job and sums the stock. `progress` (may be null) gets a line per job.
Order BuildOrder(const CommandOptions& options, std::ostream* progress);

std::string OrderText(const Order& order);  // UTF-8
std::string OrderJson(const Order& order);  // UTF-8
std::string OrderCsv(const Order& order);   // CP932, CR LF

int RunOrderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zarvel::cli
