#include "cli/order_command.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "base/cp932.h"
#include "base/format.h"
#include "job/safe_file.h"
#include "report/plan_csv.h"

namespace zarvel::cli {
namespace {

// More jobs than this report their progress on stderr.
constexpr std::size_t kQuietJobs = 3;

std::string Utf8(const std::string& cp932) {
  return text::Cp932ToUtf8(cp932);
}

std::string JsonString(const std::string& utf8) {
  std::string s = "\"";
  for (char c : utf8) {
    if (c == '"' || c == '\\') {
      s += '\\';
      s += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      s += text::Format("\\u%04x", static_cast<unsigned>(c));
    } else {
      s += c;
    }
  }
  return s + "\"";
}

std::string Metres(double mm) {
  return text::Format("%.3f", mm / 1000);
}
std::string Tonnes(double t, bool weighed) {
  return weighed ? text::Format("%.3f", t) : std::string("-");
}

OrderMember& MemberNamed(Order& order, const std::string& name) {
  for (OrderMember& m : order.members)
    if (m.name == name) return m;
  order.members.push_back({});
  order.members.back().name = name;
  return order.members.back();
}

// Adds one planned job's stock and offcuts.
void AddPlan(Order& order, const optimiser::OptimiserRecords& r) {
  const optimiser::CuttingPlan& plan = r.best;
  const double unit_weight = r.conditions.unit_weight;  // kg/m, so mm × this × 1e-6 is t
  OrderMember& m = MemberNamed(order, r.conditions.member_name);
  if (unit_weight == 0) m.weighed = false;
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const optimiser::BarPattern& b = plan.patterns[p];
    const int length = r.stock.entries[b.stock_index].length;
    auto line = std::find_if(m.lines.begin(), m.lines.end(),
                             [&](const OrderLine& l) { return l.stock_length == length; });
    if (line == m.lines.end()) {
      m.lines.push_back({length, 0, 0, 0});
      line = m.lines.end() - 1;
    }
    const double total = static_cast<double>(length) * b.repeat_count;
    line->bars += b.repeat_count;
    line->total_length += total;
    line->weight += total * unit_weight * 0.000001;
    const auto rem = static_cast<int>(std::trunc(b.remnant));
    if (rem >= order.keep && rem > 0) {
      auto cut = std::find_if(order.offcuts.begin(), order.offcuts.end(), [&](const Offcut& o) {
        return o.member == m.name && o.length == rem;
      });
      if (cut == order.offcuts.end()) {
        order.offcuts.push_back({m.name, rem, 0});
        cut = order.offcuts.end() - 1;
      }
      cut->count += b.repeat_count;
    }
  }
}

void Total(Order& order) {
  for (OrderMember& m : order.members) {
    std::sort(m.lines.begin(), m.lines.end(), [](const OrderLine& a, const OrderLine& b) {
      return a.stock_length < b.stock_length;
    });
    m.bars = 0;
    m.total_length = 0;
    m.weight = 0;
    for (const OrderLine& l : m.lines) {
      m.bars += l.bars;
      m.total_length += l.total_length;
      m.weight += l.weight;
    }
    order.bars += m.bars;
    order.total_length += m.total_length;
    order.weight += m.weight;
  }
  auto member_index = [&](const std::string& name) {
    for (std::size_t i = 0; i < order.members.size(); ++i)
      if (order.members[i].name == name) return i;
    return order.members.size();
  };
  std::stable_sort(order.offcuts.begin(), order.offcuts.end(),
                   [&](const Offcut& a, const Offcut& b) {
                     const std::size_t ia = member_index(a.member), ib = member_index(b.member);
                     return ia != ib ? ia < ib : a.length > b.length;
                   });
}

bool AllWeighed(const Order& order) {
  return std::all_of(order.members.begin(), order.members.end(),
                     [](const OrderMember& m) { return m.weighed; });
}

}  // namespace

Order BuildOrder(const CommandOptions& options, std::ostream* progress) {
  Order order;
  order.keep = options.keep;
  const std::size_t n = options.jobs.size();
  for (std::size_t i = 0; i < n; ++i) {
    CommandOptions o;
    o.job = options.jobs[i];
    o.precision = options.precision;
    if (progress != nullptr && n > kQuietJobs)
      *progress << "zarvel5: " << (i + 1) << "/" << n << " " << o.job << "\n" << std::flush;
    OrderJob job;
    job.file = o.job;
    JobRun run;
    std::ostringstream messages;
    const EarlyExit code = OpenAndRun(o, run, messages);
    if (run.records != nullptr) job.member = run.records->conditions.member_name;
    if (code) {
      job.exit_code = *code;
      job.message = messages.str();
      while (!job.message.empty() && job.message.back() == '\n') job.message.pop_back();
      for (char& c : job.message)
        if (c == '\n') c = ' ';
    } else {
      AddPlan(order, *run.records);
    }
    order.jobs.push_back(job);
  }
  Total(order);
  return order;
}

std::string OrderText(const Order& order) {
  std::string t = "鋼材発注表\n\n";
  t += "部材名                          素材長      本数      延長 (m)    重量 (t)\n";
  auto row = [&](const std::string& name, const std::string& length, long long bars, double mm,
                 const std::string& weight) {
    // Names are padded by their CP932 width, so that the columns line up on a terminal.
    const std::string cp = text::Utf8ToCp932(name);
    const std::size_t pad = cp.size() < 28 ? 28 - cp.size() : 1;
    t += name + std::string(pad, ' ') +
         text::Format("%8s  %8lld  %12s  %10s\n", length.c_str(), bars, Metres(mm).c_str(),
                      weight.c_str());
  };
  for (const OrderMember& m : order.members) {
    for (const OrderLine& l : m.lines)
      row(Utf8(m.name), text::Format("%d", l.stock_length), l.bars, l.total_length,
          Tonnes(l.weight, m.weighed));
    row("  " + Utf8(m.name) + " 計", "", m.bars, m.total_length, Tonnes(m.weight, m.weighed));
  }
  row("全体 計", "", order.bars, order.total_length,
      Tonnes(order.weight, AllWeighed(order)) +
          (AllWeighed(order) ? "" : " (重量の分かる部材のみ)"));
  t += text::Format("\n残材 (%d mm 以上):", order.keep);
  if (order.offcuts.empty()) t += " なし";
  t += "\n";
  for (const Offcut& c : order.offcuts)
    t += "  " + Utf8(c.member) + text::Format("  %d mm × %lld\n", c.length, c.count);
  const auto failed = std::count_if(order.jobs.begin(), order.jobs.end(),
                                    [](const OrderJob& j) { return j.exit_code != kExitPlanned; });
  if (failed > 0)
    t += text::Format("\n計画できなかった切断計画: %ld 件 (上の表に含まれていません)\n",
                      static_cast<long>(failed));
  return t;
}

std::string OrderJson(const Order& order) {
  const bool complete = std::all_of(order.jobs.begin(), order.jobs.end(),
                                    [](const OrderJob& j) { return j.exit_code == kExitPlanned; });
  std::string j = "{\"status\": \"" + std::string(complete ? "ok" : "incomplete") + "\", ";
  j += text::Format("\"keep\": %d,\n \"jobs\": [", order.keep);
  for (std::size_t i = 0; i < order.jobs.size(); ++i) {
    const OrderJob& job = order.jobs[i];
    j += i == 0 ? "" : ",\n  ";
    j += "{\"file\": " + JsonString(job.file) + ", \"member\": " + JsonString(Utf8(job.member)) +
         ", \"status\": \"" + (job.exit_code == kExitPlanned ? "ok" : "failed") + "\"";
    if (!job.message.empty()) j += ", \"message\": " + JsonString(job.message);
    j += "}";
  }
  j += "],\n \"members\": [";
  for (std::size_t i = 0; i < order.members.size(); ++i) {
    const OrderMember& m = order.members[i];
    j += i == 0 ? "" : ",\n  ";
    j += "{\"member\": " + JsonString(Utf8(m.name)) + ", \"stock\": [";
    for (std::size_t k = 0; k < m.lines.size(); ++k) {
      const OrderLine& l = m.lines[k];
      j += text::Format(
          "%s{\"stock_length\": %d, \"bars\": %lld, \"total_length\": %.15g, "
          "\"weight_t\": %.6f}",
          k == 0 ? "" : ", ", l.stock_length, l.bars, l.total_length, l.weight);
    }
    j += text::Format(
        "], \"bars\": %lld, \"total_length\": %.15g, \"weight_t\": %.6f, "
        "\"weighed\": %s}",
        m.bars, m.total_length, m.weight, m.weighed ? "true" : "false");
  }
  j += text::Format("],\n \"bars\": %lld, \"total_length\": %.15g, \"weight_t\": %.6f,\n",
                    order.bars, order.total_length, order.weight);
  j += " \"offcuts\": [";
  for (std::size_t i = 0; i < order.offcuts.size(); ++i) {
    const Offcut& c = order.offcuts[i];
    j += (i == 0 ? "" : ", ") + std::string("{\"member\": ") + JsonString(Utf8(c.member)) +
         text::Format(", \"length\": %d, \"count\": %lld}", c.length, c.count);
  }
  return j + "]}\n";
}

std::string OrderCsv(const Order& order) {
  using report::CsvLine;
  auto lit = [](const char* s) { return text::Lit(s); };
  auto fmt_ll = [](long long v) { return text::Format("%lld", v); };
  std::string csv =
      CsvLine({lit("部材名"), lit("素材長"), lit("本数"), lit("延長 (m)"), lit("重量 (t)")});
  for (const OrderMember& m : order.members) {
    for (const OrderLine& l : m.lines)
      csv += CsvLine({m.name, text::Format("%d", l.stock_length), fmt_ll(l.bars),
                      Metres(l.total_length), Tonnes(l.weight, m.weighed)});
    csv += CsvLine({m.name + lit(" 計"), "", fmt_ll(m.bars), Metres(m.total_length),
                    Tonnes(m.weight, m.weighed)});
  }
  csv += CsvLine({lit("全体 計"), "", fmt_ll(order.bars), Metres(order.total_length),
                  Tonnes(order.weight, AllWeighed(order))});
  csv += "\r\n";
  csv += CsvLine({lit("残材") + text::Format(" (%d mm ", order.keep) + lit("以上)")});
  csv += CsvLine({lit("部材名"), lit("長さ"), lit("本数")});
  for (const Offcut& c : order.offcuts)
    csv += CsvLine({c.member, text::Format("%d", c.length), fmt_ll(c.count)});
  return csv;
}

int RunOrderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (const EarlyExit code = HelpRequested(args, out)) return *code;
  CommandOptions o;
  if (!ParseOptions(args, {"JOB...", "--precision", "--json", "--csv", "--keep"}, o, err))
    return kExitUsage;
  if (o.json && !o.csv.empty()) {
    err << "zarvel5: order には --csv と --json を一緒に指定できません\n" << kUsage;
    return kExitUsage;
  }
  for (const std::string& job : o.jobs)
    if (const EarlyExit code =
            RefuseOutputOntoInput({{job, "仕事のファイル"}}, "--csv", o.csv, err))
      return *code;
  const Order order = BuildOrder(o, &err);
  int code = kExitPlanned;
  for (const OrderJob& job : order.jobs) {
    if (job.exit_code == kExitPlanned) continue;
    err << "zarvel5: " << job.file << ": " << job.message << "\n";
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
