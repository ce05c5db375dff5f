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

std::string Utf8(const std::string& cp932) {
  return base::Cp932ToUtf8(cp932);
}

std::string Metres(double mm) {
  return base::Format("%.3f", mm / 1000);
}
std::string Tonnes(long long kg, bool weighed) {
  return weighed ? base::Format("%lld.%03lld", kg / 1000, kg % 1000) : std::string("-");
}
std::string KgPerMetre(double kg_per_m) {
  return kg_per_m > 0 ? base::Format("%.2f", kg_per_m) : std::string("-");
}

const char* const kNoMemberName = "(部材名なし)";

// The group a job's stock goes into, and the usage words around a recognised section.
struct GroupKey {
  std::string key;
  std::string name;
  std::string usage;
  const catalog::Section* section = nullptr;
};

// A job with a grade is its own steel: "H-400×200×8×13 SN490B" is bought apart from SS400.
GroupKey GroupOf(const std::string& member_cp932, double unit_weight,
                 const std::string& grade_cp932) {
  const std::string member = Utf8(member_cp932);
  const std::string grade = Utf8(grade_cp932);
  const std::string with_grade = grade.empty() ? "" : " " + grade;
  const catalog::Recognised r = catalog::Recognise(member);
  if (r.section != nullptr)
    return {"S:" + r.section->name + "|" + grade, r.section->name + with_grade, r.usage, r.section};
  // Without a section, one name with two unit weights is two different steels.
  const std::string name = member.empty() ? kNoMemberName : member;
  return {"N:" + member + "|" + KgPerMetre(unit_weight) + "|" + grade, name + with_grade, "",
          nullptr};
}

OrderMember& MemberFor(Order& order, std::vector<std::string>& keys, const GroupKey& g) {
  for (std::size_t i = 0; i < keys.size(); ++i)
    if (keys[i] == g.key) return order.members[i];
  keys.push_back(g.key);
  order.members.push_back({});
  OrderMember& m = order.members.back();
  m.name = g.name;
  if (g.section != nullptr) {
    m.section = g.section->name;
    m.table_weight = g.section->kg_per_m;
  }
  return m;
}

void Add(OrderTotals& t, const OrderTotals& more) {
  t.bars += more.bars;
  t.total_length += more.total_length;
  t.weight_kg += more.weight_kg;
}

// Adds one planned job's stock and offcuts. `yard` holds, per stock length, the bars the yard
// gave the job: those are taken first and counted as the rack's, not as bought.
void AddPlan(Order& order, std::vector<std::string>& keys, const JobRun& run,
             std::map<int32_t, long long> yard = {}) {
  const optimiser::OptimiserRecords& r = *run.records;
  const optimiser::CuttingPlan& plan = r.best;
  const double unit_weight = r.conditions.unit_weight;  // kg/m
  const GroupKey g = GroupOf(r.conditions.member_name, unit_weight, run.form->grade);
  OrderMember& m = MemberFor(order, keys, g);
  if (!g.usage.empty() && std::find(m.usages.begin(), m.usages.end(), g.usage) == m.usages.end())
    m.usages.push_back(g.usage);
  if (unit_weight <= 0) m.weighed = false;
  if (std::find(m.unit_weights.begin(), m.unit_weights.end(), unit_weight) == m.unit_weights.end())
    m.unit_weights.push_back(unit_weight);
  for (int p = 1; p <= plan.pattern_count; ++p) {
    const optimiser::BarPattern& b = plan.patterns[p];
    const int length = r.stock.entries[b.stock_index].length;
    long long& in_yard = yard[length];
    const long long from_yard = std::min<long long>(in_yard, b.repeat_count);
    in_yard -= from_yard;
    auto add_bars = [&](bool rack, long long bars) {
      if (bars == 0) return;
      auto line = std::find_if(m.lines.begin(), m.lines.end(), [&](const OrderLine& l) {
        return l.stock_length == length && l.unit_weight == unit_weight && l.rack == rack;
      });
      if (line == m.lines.end()) {
        m.lines.push_back({length, unit_weight, rack, {}});
        line = m.lines.end() - 1;
      }
      line->totals.bars += bars;
      line->totals.total_length += static_cast<double>(length) * static_cast<double>(bars);
    };
    add_bars(true, from_yard);
    add_bars(length < r.conditions.priority_length, b.repeat_count - from_yard);
    if (report::IsKeptOffcut(b.remnant, order.keep)) {
      const int rem = report::OffcutLength(b.remnant);
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
      if (a.rack != b.rack) return !a.rack;
      if (a.stock_length != b.stock_length) return a.stock_length < b.stock_length;
      return a.unit_weight < b.unit_weight;
    });
    m.bought = {};
    m.rack = {};
    for (OrderLine& l : m.lines) {
      // mm × kg/m is 1e-3 kg: each line is rounded to the kilogram it shows.
      l.totals.weight_kg = std::llround(l.totals.total_length * l.unit_weight * 0.001);
      Add(l.rack ? m.rack : m.bought, l.totals);
    }
    Add(order.bought, m.bought);
    Add(order.rack, m.rack);
    if (!m.weighed) order.weight_partial = true;
    if (m.unit_weights.size() > 1) {
      std::string weights;
      for (const double w : m.unit_weights)
        weights += (weights.empty() ? "" : ", ") + KgPerMetre(w);
      order.notes.push_back(m.name + ": 単位重量が " + std::to_string(m.unit_weights.size()) +
                            " 通りあります (" + weights + " kg/m)。単位重量ごとに行を分けました。");
    }
    if (m.table_weight > 0) {
      for (const double w : m.unit_weights) {
        if (w > 0 && std::llround(w * 100) != std::llround(m.table_weight * 100)) {
          order.notes.push_back(m.name + ": 表の単位重量は " + KgPerMetre(m.table_weight) +
                                " kg/m です (仕事では " + KgPerMetre(w) + " kg/m)。");
        }
      }
    }
  }
  if (order.weight_partial)
    order.notes.push_back(
        "単位重量のない部材があります。重量は単位重量の分かる部材だけの合計です。");
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

// What a job short of stock lacks: the bars to add or the piece no bar holds, as the run said
// on its message's second line; else the totals of its lists.
std::string Lacks(const optimiser::OptimiserRecords& r, std::string& message) {
  if (const std::size_t line = message.find('\n'); line != std::string::npos) {
    std::string lacks = message.substr(line + 1);
    message.erase(line);
    return lacks;
  }
  return "素材の延長 " + Metres(r.stock.TotalLength()) + " m に対し、切断材の延長 " +
         Metres(r.cut.TotalLength()) + " m (切り代・素材の余裕を除く) です。素材が足りません";
}

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

long long Order::Failed() const {
  return std::count_if(jobs.begin(), jobs.end(),
                       [](const OrderJob& j) { return j.exit_code != kExitPlanned; });
}

namespace {

// The yard as the order sees it: the items with the bars earlier jobs have not taken yet.
struct OrderYard {
  std::unique_ptr<yard::Yard> store;
  std::vector<yard::Item> items;
  yard::StockFill fill;  // of the job being planned
};

// The job's own stock stays (it is what can be bought); the yard's lengths for its section take
// the grid's free cells.
EarlyExit AddYardStock(OrderYard& y, job::JobForm& form) {
  optimiser::LengthList typed;
  run::ReadGridIntoList(typed, form.StockGrid(), form.VerticalOrder());
  const std::string member =
      base::Cp932ToUtf8(base::TrimBlanks(form.Field(run::JobField::kMemberName).Text()));
  yard::FillWants wants;
  wants.cells = yard::kStockCells - typed.count;
  y.fill = yard::FillFromItems(member, y.items, wants);
  run::Grid& grid = form.StockGrid();
  const int columns = std::max(grid.ColCount() - 1, 1);
  int k = 0;
  auto put = [&](int32_t length, long long count) {
    grid.SetCell(k % columns + 1, k / columns + 1, base::Format("%5d.%3lld", length, count));
    ++k;
  };
  for (int i = 1; i <= typed.count; ++i) put(typed.entries[i].length, typed.entries[i].quantity);
  for (const yard::StockLength& l : y.fill.lengths) put(l.length, l.count);
  form.yard_stock = {base::Utf8ToCp932(y.fill.section), y.fill.Measured()};
  return std::nullopt;
}

// The bars the yard gave the job, per length; what the plan cuts of them is no longer there
// for the next job.
std::map<int32_t, long long> TakeYardBars(OrderYard& y, const optimiser::OptimiserRecords& r) {
  std::map<int32_t, long long> given;
  for (const yard::StockLength& l : y.fill.lengths) given[l.length] = l.count;
  std::map<int32_t, long long> left = given;
  for (const optimiser::StockBarsUsed& used : optimiser::StockUsed(r)) {
    long long bars = std::min<long long>(used.bars, left[used.length]);
    for (yard::Item& item : y.items) {
      if (bars == 0) break;
      if (item.length != used.length || yard::CanonicalSection(item.section) != y.fill.section)
        continue;
      const long long take = std::min<long long>(bars, item.count);
      item.count -= take;
      bars -= take;
    }
  }
  return given;
}

}  // namespace

Order BuildOrder(const CommandOptions& options, std::ostream* progress) {
  Order order;
  order.keep = options.keep;
  order.from_yard = options.from_yard;
  OrderYard yard_stock;
  if (options.from_yard) {
    yard::Status s;
    yard::OpenOptions open;
    open.allow_network_file = options.allow_network_file;  // the order only reads the yard
    yard_stock.store = yard::OpenYard(yard::YardPath(options.yard), s, open);
    if (yard_stock.store) s = yard_stock.store->List("", yard_stock.items);
    if (!s) {
      order.yard_message = s.message;
      order.yard_status = s;
    }
  }
  std::vector<std::string> keys;  // one per member
  std::vector<std::pair<job::FileId, std::string>> seen;
  const std::size_t n = options.jobs.size();
  for (std::size_t i = 0; i < n; ++i) {
    CommandOptions o;
    o.job = options.jobs[i];
    o.precision = options.precision;
    if (progress != nullptr && n > kQuietJobs)
      *progress << "zarvel5: " << (i + 1) << "/" << n << " " << o.job << "\n" << std::flush;
    OrderJob job;
    job.file = o.job;
    // One job named by two paths or through a link is planned once.
    const std::optional<job::FileId> identity = job::IdentityOf(o.job);
    const auto before = std::find_if(
        seen.begin(), seen.end(), [&](const auto& s) { return identity && s.first == *identity; });
    if (before != seen.end()) {
      job.duplicate = true;
      order.notes.push_back(o.job + " は " + before->second +
                            " と同じファイルです。1 回だけ計算しました。");
      order.jobs.push_back(job);
      continue;
    }
    if (identity) seen.emplace_back(*identity, o.job);
    JobRun run;
    std::ostringstream messages;
    BeforeRun fill;
    if (yard_stock.store) fill = [&](job::JobForm& form) { return AddYardStock(yard_stock, form); };
    const EarlyExit code = OpenAndRun(o, run, messages, fill);
    if (run.records != nullptr) job.member = Utf8(run.records->conditions.member_name);
    if (code) {
      job.exit_code = *code;
      job.message = messages.str();
      while (!job.message.empty() && job.message.back() == '\n') job.message.pop_back();
      const bool short_of_stock =
          run.outcome == run::RunOutcome::kInfeasible || run.outcome == run::RunOutcome::kShort;
      if (short_of_stock && *code == kExitRunMessage) {
        job.lacks = Lacks(*run.records, job.message);
        job.shortage = run.records->shortage;
      }
      for (char& c : job.message)
        if (c == '\n') c = ' ';
    } else if (yard_stock.store) {
      AddPlan(order, keys, run, TakeYardBars(yard_stock, *run.records));
    } else {
      AddPlan(order, keys, run);
    }
    order.jobs.push_back(job);
  }
  Total(order);
  return order;
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
                    {"JOB...", "--precision", "--json", "--csv", "--keep", "--from-yard", "--yard",
                     "--allow-network-file"},
                    o, err))
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
