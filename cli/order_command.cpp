#include "cli/order_command.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <sstream>

#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "catalog/sections.h"
#include "cli/yard_command.h"
#include "job/job_form.h"
#include "job/safe_file.h"
#include "report/labels.h"
#include "report/plan_csv.h"
#include "run/grid_reader.h"
#include "yard/stock.h"

namespace zarvel::cli {
namespace {

// More jobs than this report their progress on stderr.
constexpr std::size_t kQuietJobs = 3;

using session::KgPerMetre;
using session::Metres;
using session::Tonnes;

std::string TotalsJson(const OrderTotals& t, const char* prefix) {
  return base::Format("\"%sbars\": %lld, \"%stotal_length\": %.15g, \"%sweight_t\": %s", prefix,
                      t.bars, prefix, t.total_length, prefix, Tonnes(t.weight_kg, true).c_str());
}

std::string FailedLine(const OrderJob& job) {
  std::string line = job.file + ": " + job.message;
  if (!job.lacks.empty()) line += " (" + job.lacks + ")";
  return line;
}

constexpr const char* kIncomplete = "計画できなかった仕事があります";

}  // namespace

Order BuildOrder(const CommandOptions& options, std::ostream* progress) {
  session::OrderOptions o;
  o.jobs = options.jobs;
  o.precision = options.precision;
  o.keep = options.keep;
  o.policy = PolicyOptionsOf(options);
  o.from_yard = options.from_yard;
  o.yard = options.yard;
  o.allow_network_file = options.allow_network_file;
  o.nest = options.nest;
  session::OrderProgress tell;
  if (progress != nullptr && options.jobs.size() > kQuietJobs)
    tell = [progress](std::size_t i, std::size_t n, const std::string& job) {
      *progress << "zarvel5: " << (i + 1) << "/" << n << " " << job << "\n" << std::flush;
    };
  return session::BuildOrder(o, tell);
}

std::string OrderText(const Order& order) {
  // Names are padded by their CP932 width, so that the columns line up on a terminal; the column
  // is as wide as the longest name.
  const auto width = [](const std::string& utf8) { return base::Utf8ToCp932(utf8).size(); };
  std::size_t name_width = 24;
  for (const OrderMember& m : order.members) name_width = std::max(name_width, width(m.name) + 5);
  std::string t = "鋼材発注表\n";
  auto row = [&](const std::string& name, const std::string& kg_per_m, const std::string& length,
                 const OrderTotals& totals, bool weighed) {
    const std::size_t w = width(name);
    t += name + std::string(w < name_width ? name_width - w : 1, ' ') +
         base::Format("%8s  %8s  %8lld  %12s  %10s\n", kg_per_m.c_str(), length.c_str(),
                      totals.bars, Metres(totals.total_length).c_str(),
                      Tonnes(totals.weight_kg, weighed).c_str());
  };
  auto heading = [&](const char* title) {
    t += std::string("\n") + title + "\n";
    t += "部材名" + std::string(name_width - 6, ' ') +
         "  単位重量    素材長      本数      延長 (m)    重量 (t)\n";
  };
  for (const bool rack : {false, true}) {
    const OrderTotals& all = rack ? order.rack : order.bought;
    if (rack && all.bars == 0) continue;
    heading(!rack ? "購入する鋼材"
            : order.from_yard
                ? "在庫から使用 (在庫の素材と優先長さ未満の素材: 買わずに在庫から使う)"
                : "在庫から使用 (優先長さ未満の素材: 買わずに棚から使う)");
    for (const OrderMember& m : order.members) {
      const OrderTotals& sub = rack ? m.rack : m.bought;
      if (sub.bars == 0) continue;
      for (const OrderLine& l : m.lines)
        if (l.rack == rack)
          row(m.name, KgPerMetre(l.unit_weight), base::Format("%d", l.stock_length), l.totals,
              l.unit_weight > 0);
      if (!m.usages.empty()) {
        std::string usages;
        for (const std::string& u : m.usages) usages += (usages.empty() ? "" : "、") + u;
        t += "  用途: " + usages + "\n";
      }
      row("  " + m.name + " 計", "", "", sub, true);
    }
    row(rack ? "在庫 計" : "全体 計", "", "", all, true);
  }
  t += base::Format("\n残材 (%d mm 以上):", order.keep);
  if (order.offcuts.empty()) t += " なし";
  t += "\n";
  for (const Offcut& c : order.offcuts)
    t += "  " + c.member + base::Format("  %d mm × %lld\n", c.length, c.count);
  if (!order.notes.empty()) {
    t += "\n注:\n";
    for (const std::string& note : order.notes) t += "  " + note + "\n";
  }
  if (order.Failed() > 0) {
    t += base::Format("\n計画できなかった仕事: %lld 件 (上の表に含まれていません)\n",
                      order.Failed());
    for (const OrderJob& job : order.jobs)
      if (job.exit_code != kExitPlanned) t += "  " + FailedLine(job) + "\n";
    t += std::string(kIncomplete) + "\n";
  }
  return t;
}

std::string OrderJson(const Order& order) {
  std::string j =
      "{\"status\": \"" + std::string(order.Failed() == 0 ? "ok" : "incomplete") + "\", ";
  j += base::Format("\"keep\": %d,\n \"jobs\": [", order.keep);
  for (std::size_t i = 0; i < order.jobs.size(); ++i) {
    const OrderJob& job = order.jobs[i];
    const char* status = job.duplicate                   ? "duplicate"
                         : job.exit_code == kExitPlanned ? "ok"
                                                         : "failed";
    j += i == 0 ? "" : ",\n  ";
    j += "{\"file\": " + base::JsonString(job.file) +
         ", \"member\": " + base::JsonString(job.member) + ", \"status\": \"" + status + "\"";
    if (!job.message.empty()) j += ", \"message\": " + base::JsonString(job.message);
    if (!job.lacks.empty()) j += ", \"lacks\": " + base::JsonString(job.lacks);
    if (!job.shortage.empty()) j += ", \"shortage\": " + ShortageJson(job.shortage);
    j += "}";
  }
  j += "],\n \"members\": [";
  for (std::size_t i = 0; i < order.members.size(); ++i) {
    const OrderMember& m = order.members[i];
    j += i == 0 ? "" : ",\n  ";
    j += "{\"member\": " + base::JsonString(m.name) + ", \"section\": " +
         (m.section.empty() ? std::string("null") : base::JsonString(m.section)) +
         ", \"usages\": [";
    for (std::size_t k = 0; k < m.usages.size(); ++k)
      j += (k ? ", " : "") + base::JsonString(m.usages[k]);
    j += "], \"stock\": [";
    for (std::size_t k = 0; k < m.lines.size(); ++k) {
      const OrderLine& l = m.lines[k];
      j += base::Format("%s{\"stock_length\": %d, \"kg_per_m\": %s, \"rack\": %s, ",
                        k == 0 ? "" : ", ", l.stock_length,
                        l.unit_weight > 0 ? KgPerMetre(l.unit_weight).c_str() : "null",
                        l.rack ? "true" : "false") +
           TotalsJson(l.totals, "") + "}";
    }
    j += "], " + TotalsJson(m.bought, "") + ", " + TotalsJson(m.rack, "rack_") +
         base::Format(", \"weighed\": %s}", m.weighed ? "true" : "false");
  }
  j += "],\n " + TotalsJson(order.bought, "") + ",\n \"rack\": {" + TotalsJson(order.rack, "") +
       "}" + base::Format(", \"weight_partial\": %s,\n", order.weight_partial ? "true" : "false");
  j += " \"offcuts\": [";
  for (std::size_t i = 0; i < order.offcuts.size(); ++i) {
    const Offcut& c = order.offcuts[i];
    j += (i == 0 ? "" : ", ") + std::string("{\"member\": ") + base::JsonString(c.member) +
         base::Format(", \"length\": %d, \"count\": %lld}", c.length, c.count);
  }
  j += "],\n \"notes\": [";
  for (std::size_t i = 0; i < order.notes.size(); ++i)
    j += (i ? ", " : "") + base::JsonString(order.notes[i]);
  return j + "]}\n";
}

std::string OrderCsv(const Order& order) {
  using report::CsvLine;
  auto cp = [](const std::string& utf8) { return base::Utf8ToCp932(utf8); };
  auto fmt_ll = [](long long v) { return base::Format("%lld", v); };
  const std::vector<std::string> columns = {cp("部材名"), cp("単位重量 (kg/m)"), cp("素材長"),
                                            cp("本数"),   cp("延長 (m)"),        cp("重量 (t)")};
  auto row = [&](const std::string& name, const std::string& kg, const std::string& length,
                 const OrderTotals& t, bool weighed) {
    return CsvLine({cp(name), kg, length, fmt_ll(t.bars), Metres(t.total_length),
                    Tonnes(t.weight_kg, weighed)});
  };
  std::string csv;
  for (const bool rack : {false, true}) {
    const OrderTotals& all = rack ? order.rack : order.bought;
    if (rack && all.bars == 0) continue;
    if (rack) csv += "\r\n" + CsvLine({cp("在庫から使用 (優先長さ未満の素材)")});
    csv += CsvLine(columns);
    for (const OrderMember& m : order.members) {
      const OrderTotals& sub = rack ? m.rack : m.bought;
      if (sub.bars == 0) continue;
      for (const OrderLine& l : m.lines)
        if (l.rack == rack)
          csv += row(m.name, KgPerMetre(l.unit_weight), base::Format("%d", l.stock_length),
                     l.totals, l.unit_weight > 0);
      csv += row(m.name + " 計", "", "", sub, true);
    }
    csv += row(rack ? "在庫 計" : "全体 計", "", "", all, true);
  }
  csv += "\r\n";
  csv += CsvLine({cp("残材") + base::Format(" (%d mm ", order.keep) + cp("以上)")});
  csv += CsvLine({cp("部材名"), cp("長さ"), cp("本数")});
  for (const Offcut& c : order.offcuts)
    csv += CsvLine({cp(c.member), base::Format("%d", c.length), fmt_ll(c.count)});
  if (!order.notes.empty()) {
    csv += "\r\n" + CsvLine({cp("注")});
    for (const std::string& note : order.notes) csv += CsvLine({cp(note)});
  }
  if (order.Failed() > 0) {
    csv += "\r\n" + CsvLine({cp("計画できなかった仕事"), cp("理由")});
    for (const OrderJob& job : order.jobs)
      if (job.exit_code != kExitPlanned)
        csv +=
            CsvLine({cp(job.file),
                     cp(job.lacks.empty() ? job.message : job.message + " (" + job.lacks + ")")});
    csv += CsvLine({cp(kIncomplete)});
  }
  return csv;
}

int RunOrderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (const EarlyExit code = HelpRequested(args, out)) return *code;
  CommandOptions o;
  if (!ParseOptions(args,
                    {"JOB...", "--precision", "--json", "--csv", "--keep", "--offcuts-first",
                     "--from-yard", "--yard", "--allow-network-file", "--nest"},
                    o, err))
    return kExitUsage;
  if (o.nest && o.from_yard) {
    err << "zarvel5: order には --nest と --from-yard を一緒に指定できません (在庫からまとめて"
           "計画するには zarvel5 nest --from-yard を使って下さい)\n"
        << kUsage;
    return kExitUsage;
  }
  if (o.json && !o.csv.empty()) {
    err << "zarvel5: order には --csv と --json を一緒に指定できません\n" << kUsage;
    return kExitUsage;
  }
  for (const std::string& job : o.jobs)
    if (const EarlyExit code =
            RefuseOutputOntoInput({{job, "仕事のファイル"}}, "--csv", o.csv, err))
      return *code;
  const Order order = BuildOrder(o, &err);
  if (!order.yard_message.empty()) {
    if (o.json) out << YardStatusJson(order.yard_status);
    err << "zarvel5: " << order.yard_message << "\n";
    return YardExitCode(order.yard_status);
  }
  int code = kExitPlanned;
  for (const OrderJob& job : order.jobs) {
    if (job.exit_code == kExitPlanned) continue;
    err << "zarvel5: " << FailedLine(job) << "\n";
    code = std::max(code, job.exit_code);
  }
  if (!o.csv.empty()) {
    if (!job::ReplaceFile(o.csv, OrderCsv(order))) {
      err << "zarvel5: " << o.csv << " に書き込めません\n";
      return kExitUsage;
    }
    out << o.csv << "\n";
  } else {
    out << (o.json ? OrderJson(order) : OrderText(order));
  }
  return code;
}

}  // namespace zarvel::cli
