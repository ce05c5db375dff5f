// "zarvel5 order": the steel to buy for a project: every job planned, the bars summed per
// section and stock length, the rack's bars apart from those to buy, and the offcuts worth
// keeping.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/plan_command.h"
#include "session/order.h"
#include "yard/yard.h"

namespace zarvel::cli {

// The order's model lives in session/; the command prints it.
using session::Offcut;
using session::Order;
using session::OrderJob;
using session::OrderLine;
using session::OrderMember;
using session::OrderTotals;

Order BuildOrder(const CommandOptions& options, std::ostream* progress);

std::string OrderText(const Order& order);  // UTF-8
std::string OrderJson(const Order& order);  // UTF-8
std::string OrderCsv(const Order& order);   // CP932, CR LF

int RunOrderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zarvel::cli
