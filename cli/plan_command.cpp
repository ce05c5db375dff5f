#include "cli/plan_command.h"

#include <memory>

#include "job/job_file.h"
#include "job/job_form.h"
#include "optimiser/run_command.h"
#include "text/app_info.h"
#include "text/cp932.h"
#include "text/format.h"

namespace zarvel::cli {
namespace {

using optimiser::BarPattern;
using optimiser::OptimiserRecords;

constexpr const char* kUsage =
    "usage: zarvel5 plan JOB.zv5 [--precision low|medium|high] [--json] [--save-job OUT.zv5]\n";

// Messages of the run, kept for stderr.
class MessageCollector final : public optimiser::MessageSink {
 public:
  void ShowMessageText(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> messages;
};

// A message for the terminal: UTF-8, without the dialog's markers.
std::string ForTerminal(const std::string& cp932) {
  std::string s = cp932;
  while (s.rfind("[#", 0) == 0) {
    const std::size_t close = s.find(']');
    if (close == std::string::npos) break;
    s.erase(0, close + 1);
  }
  return text::Cp932ToUtf8(s);
}

std::string Number(double v) {
  return text::Format("%.15g", v);
}
std::string Rate(double v) {
  return text::Format("%.6f", v);
}

// Bars used per stock entry, in stock-list order.
std::vector<std::pair<int, long>> StockUsed(const OptimiserRecords& r) {
  std::vector<std::pair<int, long>> used;
  for (int k = 1; k <= r.stock.count; ++k) {
    long bars = 0;
    for (int p = 1; p <= r.best.pattern_count; ++p)
      if (r.best.patterns[p].stock_index == k) bars += r.best.patterns[p].repeat_count;
    if (bars > 0) used.emplace_back(r.stock.entries[k].length, bars);
  }
  return used;
}

const char* StatusName(optimiser::RunOutcome outcome) {
  switch (outcome) {
    case optimiser::RunOutcome::kPlanned:
      return "ok";
    case optimiser::RunOutcome::kNoStock:
      return "no-stock";
    case optimiser::RunOutcome::kNoCut:
      return "no-cut";
    case optimiser::RunOutcome::kInfeasible:
      break;
  }
  return "infeasible";
}

}  // namespace

std::string PlanJson(const OptimiserRecords& r) {
  const optimiser::CuttingPlan& plan = r.best;
  std::string j = "{\"status\": \"ok\", \"stock_length\": " + Number(plan.stock_length) +
                  ", \"required_length\": " + Number(plan.required_length) +
                  ", \"remnant_length\": " + Number(plan.remnant_length) +
                  ", \"remnant_rate\": " + Rate(plan.remnant_rate) +
                  ", \"loss_rate\": " + Rate(plan.loss_rate) + ",\n \"patterns\": [";
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const BarPattern& b = plan.patterns[p];
    j += p == 1 ? "" : ",\n  ";
    j += text::Format("{\"stock_length\": %d, \"repeat\": %d, \"remnant\": %s, ",
                      r.stock.entries[b.stock_index].length, b.repeat_count,
                      Number(b.remnant).c_str());
    j += "\"remnant_rate\": " + Rate(b.remnant_rate) + ", \"pieces\": [";
    bool first = true;
    for (int c = 1; c <= r.cut.count; ++c) {
      if (b.piece_counts[c] == 0) continue;
      j +=
          text::Format("%s[%d, %d]", first ? "" : ", ", r.cut.entries[c].length, b.piece_counts[c]);
      first = false;
    }
    j += "]}";
  }
  j += "],\n \"stock_used\": [";
  bool first = true;
  for (auto [length, bars] : StockUsed(r)) {
    j += text::Format("%s[%d, %ld]", first ? "" : ", ", length, bars);
    first = false;
  }
  j += "]}\n";
  return j;
}

std::string PlanText(const OptimiserRecords& r) {
  const optimiser::CuttingPlan& plan = r.best;
  const optimiser::Conditions& c = r.conditions;
  std::string t;
  t += text::Cp932ToUtf8(c.project_name) + "  " + text::Cp932ToUtf8(c.member_name) + "\n";
  t += text::Format("余裕 %d mm  切り代 %d mm  優先素材 %d mm 未満\n\n", c.margin, c.kerf,
                    c.priority_length);
  t += "  素材長      本数   残材  切断材 (長さ×本数)\n";
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const BarPattern& b = plan.patterns[p];
    t += text::Format("%8d × %4d  %5.0f  ", r.stock.entries[b.stock_index].length, b.repeat_count,
                      b.remnant);
    bool first = true;
    for (int j = 1; j <= r.cut.count; ++j) {
      if (b.piece_counts[j] == 0) continue;
      t += text::Format("%s%d×%d", first ? "" : " + ", r.cut.entries[j].length, b.piece_counts[j]);
      first = false;
    }
    if (first) t += "(なし)";
    t += "\n";
  }
  t += "\n使用素材:";
  for (auto [length, bars] : StockUsed(r)) t += text::Format("  %d×%ld", length, bars);
  t += text::Format("\n素材長計 %.0f mm  必要長 %.0f mm  残材 %.0f mm\n", plan.stock_length,
                    plan.required_length, plan.remnant_length);
  t += text::Format("残材率 %.3f %%  ロス率 %.3f %%\n", plan.remnant_rate, plan.loss_rate);
  return t;
}

int RunPlanCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string job_path;
  std::string save_path;
  int precision = -1;
  bool json = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      json = true;
    } else if (a == "--precision" && i + 1 < args.size()) {
      const std::string& v = args[++i];
      precision = v == "low" ? 0 : v == "medium" ? 1 : v == "high" ? 2 : -2;
      if (precision == -2) {
        err << "zarvel5: unknown precision '" << v << "'\n" << kUsage;
        return kExitUsage;
      }
    } else if (a == "--save-job" && i + 1 < args.size()) {
      save_path = args[++i];
    } else if (!a.empty() && a[0] != '-' && job_path.empty()) {
      job_path = a;
    } else {
      err << kUsage;
      return kExitUsage;
    }
  }
  if (job_path.empty()) {
    err << kUsage;
    return kExitUsage;
  }

  auto records = std::make_unique<OptimiserRecords>();
  job::JobForm form(*records);
  if (!job::OpenJobFile(form, job_path)) {
    err << ForTerminal(job::CannotReadMessage(job_path)) << "\n";
    return kExitUsage;
  }
  if (precision >= 0) form.SetPrecisionItem(precision);

  MessageCollector messages;
  optimiser::RunHost host;
  host.messages = &messages;
  host.version_text = text::VersionText();
  const optimiser::RunOutcome outcome = optimiser::RunCommand(*records, form, host, true);

  if (!save_path.empty() && !job::WriteJobFile(form, save_path)) {
    err << ForTerminal(job::CannotWriteMessage(save_path)) << "\n";
    return kExitUsage;
  }
  for (const std::string& m : messages.messages) err << ForTerminal(m) << "\n";
  if (outcome != optimiser::RunOutcome::kPlanned) {
    if (json) out << "{\"status\": \"" << StatusName(outcome) << "\"}\n";
    return kExitRunMessage;
  }
  out << (json ? PlanJson(*records) : PlanText(*records));
  return kExitPlanned;
}

}  // namespace zarvel::cli
