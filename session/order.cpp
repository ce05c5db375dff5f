#include "session/order.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "catalog/sections.h"
#include "job/job_form.h"
#include "job/safe_file.h"
#include "report/labels.h"
#include "run/grid_reader.h"
#include "session/nest.h"
#include "yard/stock.h"

namespace zarvel::session {

std::string Metres(double mm) {
  return base::Format("%.3f", mm / 1000);
}
std::string Tonnes(long long kg, bool weighed) {
  return weighed ? base::Format("%lld.%03lld", kg / 1000, kg % 1000) : std::string("-");
}
std::string KgPerMetre(double kg_per_m) {
  return kg_per_m > 0 ? base::Format("%.2f", kg_per_m) : std::string("-");
}

long long Order::Failed() const {
  return std::count_if(jobs.begin(), jobs.end(),
                       [](const OrderJob& j) { return j.exit_code != 0; });
}

namespace {

std::string Utf8(const std::string& cp932) {
  return base::Cp932ToUtf8(cp932);
}

const char* const kNoMemberName = "(部材名なし)";

}  // namespace

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

namespace {

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

// The yard as the order sees it: the items with the bars earlier jobs have not taken yet.
struct OrderYard {
  std::unique_ptr<yard::Yard> store;
  std::vector<yard::Item> items;
  yard::StockFill fill;  // of the job being planned
};

// The job's own stock stays (it is what can be bought); the yard's lengths for its section take
// the grid's free cells.
base::Error AddYardStock(OrderYard& y, job::JobForm& form) {
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
  return {};
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

// The order of the jobs nested per material: each group's plan bought as one.
Order NestedOrder(const OrderOptions& options, const OrderProgress& progress) {
  Order order;
  order.keep = options.keep;
  NestOptions n;
  n.jobs = options.jobs;
  n.precision = options.precision;
  if (progress) n.progress = progress;
  const Nest nest = BuildNest(n);
  std::vector<std::string> keys;
  for (const NestGroup& g : nest.groups) {
    if (!g.Planned()) continue;
    AddPlan(order, keys, g.run);
    for (const std::size_t j : g.jobs) {
      const NestJob& job = nest.jobs[j];
      const GroupKey k = GroupOf(job.conditions.member_name, job.conditions.unit_weight,
                                 base::Utf8ToCp932(g.grade));
      OrderMember& m = MemberFor(order, keys, k);
      if (!k.usage.empty() &&
          std::find(m.usages.begin(), m.usages.end(), k.usage) == m.usages.end())
        m.usages.push_back(k.usage);
    }
  }
  order.notes = nest.notes;
  for (const NestJob& job : nest.jobs) {
    OrderJob o;
    o.file = job.file;
    o.member = job.member;
    o.duplicate = job.duplicate;
    if (job.unreadable) {
      o.exit_code = 2;
      o.message = job.message;
    } else if (!job.duplicate && !nest.groups[job.group].Planned()) {
      const NestGroup& g = nest.groups[job.group];
      o.exit_code = 1;
      o.message = g.message;
      // What the group lacks is said once, with its first job.
      if (g.jobs.front() == static_cast<std::size_t>(&job - nest.jobs.data()) &&
          g.run.records != nullptr && g.run.outcome == run::RunOutcome::kShort) {
        o.lacks = Lacks(*g.run.records, o.message);
        o.shortage = g.run.records->shortage;
      }
      for (char& c : o.message)
        if (c == '\n') c = ' ';
    }
    order.jobs.push_back(o);
  }
  Total(order);
  return order;
}

}  // namespace

Order BuildOrder(const OrderOptions& options, const OrderProgress& progress) {
  if (options.nest) return NestedOrder(options, progress);
  Order order;
  order.keep = options.keep;
  order.from_yard = options.from_yard;
  OrderYard yard_stock;
  if (options.from_yard) {
    yard::Status s;
    yard::OpenOptions open;
    open.allow_network_file = options.allow_network_file;  // the order only reads the yard
    yard_stock.store = yard::OpenYard(YardPlace(options.yard), s, open);
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
    JobOptions o;
    o.job = options.jobs[i];
    o.precision = options.precision;
    o.policy = options.policy;
    if (progress) progress(i, n, o.job);
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
    std::vector<std::string> notes;
    BeforeRun fill;
    if (yard_stock.store) fill = [&](job::JobForm& form) { return AddYardStock(yard_stock, form); };
    const base::Error e = OpenAndRun(o, run, notes, fill);
    if (run.records != nullptr) job.member = Utf8(run.records->conditions.member_name);
    if (!e) {
      job.exit_code = FailureClass(e);
      if (!e.message.empty()) notes.push_back(e.message);
      for (const std::string& note : notes) job.message += (job.message.empty() ? "" : "\n") + note;
      const bool short_of_stock =
          run.outcome == run::RunOutcome::kInfeasible || run.outcome == run::RunOutcome::kShort;
      if (short_of_stock && job.exit_code == 1) {
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

}  // namespace zarvel::session
