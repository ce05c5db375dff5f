#include "cli/nest_command.h"

#include <algorithm>

#include "base/cp932.h"
#include "base/format.h"
#include "job/settings.h"

namespace zarvel::cli {
namespace {

using session::Nest;
using session::NestGroup;

// More groups than this report their progress on stderr.
constexpr std::size_t kQuietGroups = 1;

std::string JobFiles(const Nest& nest, const NestGroup& g, const char* separator) {
  std::string files;
  for (const std::size_t j : g.jobs) files += (files.empty() ? "" : separator) + nest.jobs[j].file;
  return files;
}

const char* GroupStatus(const NestGroup& g) {
  return g.refused ? "refused" : StatusName(g.run.outcome);
}

std::string GroupJson(const Nest& nest, const NestGroup& g) {
  std::string j =
      "{\"section\": " + (g.section.empty() ? std::string("null") : base::JsonString(g.section)) +
      ", \"name\": " + base::JsonString(g.name) + ", \"grade\": " + base::JsonString(g.grade) +
      ", \"jobs\": [";
  for (std::size_t k = 0; k < g.jobs.size(); ++k)
    j += (k ? ", " : "") + base::JsonString(nest.jobs[g.jobs[k]].file);
  j += base::Format("], \"pieces\": %lld, \"lengths\": %d, \"status\": \"%s\"", g.pieces, g.lengths,
                    GroupStatus(g));
  if (!g.message.empty()) j += ", \"message\": " + base::JsonString(g.message);
  if (g.Planned()) {
    const std::vector<session::NestBar> bars = session::NestBars(g);
    j += ",\n " + PlanFields(*g.run.records, [&](std::size_t b, std::size_t k) {
           const session::NestPiece& p = bars[b].pieces[k];
           const std::string job = p.job < nest.jobs.size() ? nest.jobs[p.job].file : std::string();
           return "\"job\": " + base::JsonString(job) +
                  ", \"mark\": " + base::JsonString(base::Cp932ToUtf8(p.mark));
         });
  } else if (!g.refused && g.run.outcome == run::RunOutcome::kShort) {
    const optimiser::OptimiserRecords& r = *g.run.records;
    j += ", \"shortage\": " + ShortageJson(r.shortage);
    if (r.with_shortage != nullptr) j += ",\n \"plan\": {" + PlanFields(*r.with_shortage) + "}";
  }
  return j + "}";
}

}  // namespace

Nest BuildNest(const CommandOptions& options, std::ostream* progress) {
  session::NestOptions o;
  o.jobs = options.jobs;
  o.precision = options.precision;
  o.from_yard = options.from_yard;
  o.yard = options.yard;
  o.yard_options.allow_network_file = options.allow_network_file && !options.commit;
  // A remnant policy given on the command line is set on every group's job here.
  if (progress != nullptr)
    o.progress = [progress](std::size_t i, std::size_t n, const std::string& name) {
      if (n > kQuietGroups)
        *progress << "zarvel5: " << (i + 1) << "/" << n << " " << name << "\n" << std::flush;
    };
  return session::BuildNest(o);
}

std::string NestText(const Nest& nest) {
  std::string t;
  for (const NestGroup& g : nest.groups) {
    t += "=== " + g.name + base::Format(" (%zu 件: ", g.jobs.size()) + JobFiles(nest, g, ", ") +
         base::Format(" / 切断材 %lld 本、%d 種類)\n", g.pieces, g.lengths);
    if (g.Planned()) {
      t += PlanText(*g.run.records);
    } else {
      t += (g.refused ? "計画しませんでした: " : "計画できませんでした: ") + g.message + "\n";
    }
    t += "\n";
  }
  for (const session::NestJob& j : nest.jobs)
    if (j.unreadable) t += "読めなかった仕事: " + j.message + "\n";
  if (!nest.notes.empty()) {
    t += "注:\n";
    for (const std::string& n : nest.notes) t += "  " + n + "\n";
  }
  return t;
}

std::string NestJson(const Nest& nest) {
  const int code = nest.ExitCode();
  std::string j =
      std::string("{\"status\": \"") + (code == 0 ? "ok" : "incomplete") + "\",\n \"jobs\": [";
  for (std::size_t i = 0; i < nest.jobs.size(); ++i) {
    const session::NestJob& job = nest.jobs[i];
    const char* status = job.duplicate ? "duplicate" : job.unreadable ? "unreadable" : "ok";
    j += (i ? ",\n  " : "") + std::string("{\"file\": ") + base::JsonString(job.file) +
         ", \"member\": " + base::JsonString(job.member) + ", \"status\": \"" + status + "\"";
    if (!job.message.empty()) j += ", \"message\": " + base::JsonString(job.message);
    j += base::Format(", \"pieces\": %lld, \"lengths\": %d}", job.pieces, job.lengths);
  }
  j += "],\n \"groups\": [";
  for (std::size_t i = 0; i < nest.groups.size(); ++i)
    j += (i ? ",\n  " : "") + GroupJson(nest, nest.groups[i]);
  j += "],\n \"notes\": [";
  for (std::size_t i = 0; i < nest.notes.size(); ++i)
    j += (i ? ", " : "") + base::JsonString(nest.notes[i]);
  return j + "]}\n";
}

int RunNestCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (const EarlyExit code = HelpRequested(args, out)) return *code;
  CommandOptions o;
  if (!ParseOptions(args,
                    {"JOB...", "--precision", "--json", "--from-yard", "--yard", "--commit",
                     "--keep", "--allow-network-file"},
                    o, err))
    return kExitUsage;
  Nest nest = BuildNest(o, &err);
  if (!nest.yard_error) {
    if (o.json) out << ErrorJson(nest.yard_error);
    err << "zarvel5: " << nest.yard_error.message << "\n";
    return ExitCode(nest.yard_error);
  }
  for (const session::NestJob& j : nest.jobs)
    if (j.unreadable) err << "zarvel5: " << j.message << "\n";
  for (const NestGroup& g : nest.groups)
    if (!g.Planned()) err << "zarvel5: " << g.name << ": " << g.message << "\n";
  int code = nest.ExitCode();
  int64_t entry = 0;
  if (o.commit && code == kExitPlanned) {
    const int keep = o.keep_given ? o.keep : job::ReadYardKeep();
    if (const base::Error e = session::CommitNest(nest, keep, entry); !e) {
      err << "zarvel5: " << e.message << "\n";
      if (o.json) out << ErrorJson(e);
      return ExitCode(e);
    }
  } else if (o.commit) {
    err << "zarvel5: 計画できなかった仕事かグループがあるため、在庫は更新しませんでした。\n";
  }
  std::string shown = o.json ? NestJson(nest) : NestText(nest);
  if (entry != 0 && o.json) {
    shown.erase(shown.size() - 2);  // the closing "}\n"
    shown += base::Format(",\n \"commit\": %lld}\n", static_cast<long long>(entry));
  } else if (entry != 0) {
    shown += base::Format("在庫を更新しました（記録 %lld、取り消しは zarvel5 yard undo %lld）。\n",
                          static_cast<long long>(entry), static_cast<long long>(entry));
  }
  out << shown;
  return code;
}

}  // namespace zarvel::cli
