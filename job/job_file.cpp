#include "job/job_file.h"

#include <cerrno>
#include <cstdint>

#include "base/cp932.h"
#include "base/format.h"
#include "base/lines.h"
#include "base/numbers.h"
#include "job/grid_entry.h"
#include "job/piece_marks.h"
#include "job/safe_file.h"

namespace zarvel::job {
namespace {

// Folder (with its trailing separator) + "\n" + file name + the tail (CP932).
std::string FolderAndName(const std::string& path, const char* utf8_tail) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return base::Utf8ToCp932(folder) + "\n" + base::Utf8ToCp932(name) + base::Lit(utf8_tail);
}

std::string PathMessage(const std::string& path, const char* utf8_tail) {
  return base::Lit("[×]") + FolderAndName(path, utf8_tail);
}

// Text bytes only: tab and line ends are the only control bytes, and every byte above 0x7F is a
// half-width kana or the lead of a two-byte character with a trail byte CP932 allows.
bool IsCp932Text(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x20) {
      if (b != '\t' && b != '\r' && b != '\n') return false;
    } else if (b == 0x7F || b == 0x80 || b == 0xA0 || b >= 0xFD) {
      return false;
    } else if (base::IsLeadByte(b)) {
      if (i + 1 >= s.size()) return false;
      const auto t = static_cast<unsigned char>(s[++i]);
      if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
    }
  }
  return true;
}

bool HasSectionLine(std::string_view s, std::string_view header) {
  std::size_t at = 0;
  while (at <= s.size()) {
    std::size_t end = s.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = s.size();
    if (s.substr(at, end - at) == header) return true;
    if (end < s.size() && s[end] == '\r' && end + 1 < s.size() && s[end + 1] == '\n') ++end;
    at = end + 1;
  }
  return false;
}

const ControlEntry* EntryNamed(const std::string& name) {
  for (const ControlEntry& entry : kJobControls)
    if (name == entry.key) return &entry;
  return nullptr;
}

// A control as a fresh job has it.
void SetFresh(SavedControl& c, const ControlEntry& entry) {
  switch (entry.kind) {
    case SavedKind::kEdit:
      c.SetText(StartText(entry));
      break;
    case SavedKind::kStringGrid:
      if (run::Grid* g = c.Cells()) {
        for (int r = 0; r < g->RowCount(); ++r)
          for (int col = 0; col < g->ColCount(); ++col) g->SetCell(col, r, std::string());
      }
      break;
    case SavedKind::kRadioGroup:
      c.SetItemIndex(entry.value);
      break;
    case SavedKind::kCheckBox:
      c.SetChecked(entry.value != 0);
      break;
    default:
      break;
  }
}

// A measured length without a count: every bar of it.
constexpr long long kAllBars = INT32_MAX;

// The lines of the job's section that follow its controls: the yard's, the grade and the note.
struct ExtraLines {
  YardStockNote yard;
  std::string grade;
  std::string import_note;
  optimiser::RemnantPolicy policy;
};

ExtraLines ReadExtraLines(const std::string& content) {
  ExtraLines extra;
  YardStockNote& note = extra.yard;
  bool inside = false;
  const std::string section_key = std::string(kYardSectionKey) + " = ";
  const std::string measured_key = std::string(kYardMeasuredKey) + " = ";
  const std::string grade_key = std::string(kGradeKey) + " = ";
  const std::string note_key = std::string(kImportNoteKey) + " = ";
  const std::string first_key = std::string(kOffcutsFirstKey) + " = ";
  const std::string keep_key = std::string(kOffcutKeepKey) + " = ";
  // Walked in place: a hostile file of millions of lines must not become millions of strings.
  const std::string_view all(content);
  for (std::size_t at = 0; at < all.size();) {
    std::size_t end = all.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view view = all.substr(at, std::min(end - at, base::kMaxLineLength));
    at = end + 1;
    if (view.empty() ||
        (view[0] != '[' && view[0] != 'Y' && view[0] != 'G' && view[0] != 'I' && view[0] != 'O'))
      continue;
    const std::string line(view);
    if (line[0] == '[') {
      if (inside) break;
      inside = line == std::string("[") + kFormSection + "]";
    } else if (inside && line.rfind(grade_key, 0) == 0) {
      extra.grade = line.substr(grade_key.size());
    } else if (inside && line.rfind(note_key, 0) == 0) {
      extra.import_note = line.substr(note_key.size());
    } else if (inside && line.rfind(first_key, 0) == 0) {
      extra.policy.offcuts_first = base::AtoI(line.substr(first_key.size())) != 0;
    } else if (inside && line.rfind(keep_key, 0) == 0) {
      extra.policy.keep = base::AtoI(line.substr(keep_key.size()));
    } else if (inside && line.rfind(section_key, 0) == 0) {
      note.section = line.substr(section_key.size());
    } else if (inside && line.rfind(measured_key, 0) == 0) {
      note.measured.clear();
      const std::string list = line.substr(measured_key.size());
      // "3000*2": two bars of 3000 are measured; a length alone (older files): all its bars.
      for (std::size_t from = 0; from < list.size();) {
        std::size_t comma = list.find(',', from);
        if (comma == std::string::npos) comma = list.size();
        const std::string item = list.substr(from, comma - from);
        const int32_t length = base::AtoI(item);
        const std::size_t star = item.find('*');
        const long long bars =
            star == std::string::npos ? kAllBars : base::AtoI(item.substr(star + 1));
        if (length > 1 && bars > 0 && note.measured.size() < 1000)
          note.measured.push_back({length, bars});
        from = comma + 1;
      }
    }
  }
  if (note.section.empty()) note.measured.clear();
  return extra;
}

// One line of a key's value: line ends and other control bytes become blanks.
std::string OneLine(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return out;
}

// The date fields' texts: year, month, day.
struct DateTexts {
  std::string year, month, day;
};
DateTexts DateOf(const std::vector<SavedControl*>& controls) {
  DateTexts d;
  for (SavedControl* c : controls) {
    const std::string name = c->Name();
    if (name == Entry(JobControl::kYear).key) d.year = c->Text();
    if (name == Entry(JobControl::kMonth).key) d.month = c->Text();
    if (name == Entry(JobControl::kDay).key) d.day = c->Text();
  }
  return d;
}
bool PossibleDate(const DateTexts& d) {
  return job::PossibleDate(d.year, d.month, d.day);
}

}  // namespace

bool IsJobText(std::string_view content) {
  return IsCp932Text(content) && HasSectionLine(content, "[" + std::string(kFormSection) + "]");
}

const std::string& NotAJobReason() {
  return base::Lit("仕事のファイルではありません");
}

FileResult OpenJobFile(JobWindow& window, const std::string& path, JobLoad* load) {
  std::string content;
  const FileResult read = ReadWholeFile(path, content, kMaxJobFileSize, Overlong::kFail);
  if (!read) return read;
  if (!IsJobText(content)) return FileResult::Refused(EINVAL, NotAJobReason());
  LoadJobText(window, &content, load);
  if (load != nullptr) load->stamp = StampOfContent(path, content);
  return read;
}

void LoadJobText(JobWindow& window, const std::string* content, JobLoad* load) {
  if (load != nullptr) *load = JobLoad();
  if (content != nullptr) {
    ExtraLines extra = ReadExtraLines(*content);
    window.yard_stock = std::move(extra.yard);
    window.grade = std::move(extra.grade);
    window.import_note = std::move(extra.import_note);
    window.policy = extra.policy.offcuts_first ? extra.policy : optimiser::RemnantPolicy{};
    const std::vector<SavedControl*> controls = window.PersistentControls();
    // What the file does not name is a fresh job's, never what the previous job left.
    SectionLoad found;
    if (LoadFormStateText(*content, kFormSection, controls, &found)) {
      for (std::size_t k = 0; k < controls.size(); ++k) {
        const ControlEntry* entry = EntryNamed(controls[k]->Name());
        if (entry == nullptr) continue;
        if (found.cut_short[k] && load != nullptr) load->cut_short.push_back(entry->control);
        if (found.named[k]) continue;
        SetFresh(*controls[k], *entry);
        if (load != nullptr && !entry->added_later) load->missing.push_back(entry->control);
      }
    }
    if (load != nullptr) load->impossible_date = !PossibleDate(DateOf(controls));
    // A file without marks leaves none of the previous job's.
    if (std::vector<optimiser::PieceMark>* marks = window.MarkList()) *marks = ReadMarks(*content);
  }
  window.GridFrameSetup();
  window.RelayoutGrids();
  window.AfterLoad();
  if (content != nullptr) window.SetDataModified(false);
}

void ApplyFreshJob(JobWindow& window) {
  window.grade.clear();
  window.import_note.clear();
  window.policy = {};
  for (SavedControl* c : window.PersistentControls())
    if (const ControlEntry* entry = EntryNamed(c->Name())) SetFresh(*c, *entry);
  window.GridFrameSetup();
  window.RelayoutGrids();
  window.AfterLoad();
  window.SetDataModified(false);
}

std::vector<std::string> JobFileLines(JobWindow& window) {
  std::vector<std::string> lines{window.Caption()};
  SaveFormState(lines, kFormSection, window.PersistentControls());
  if (!window.yard_stock.Empty()) {
    lines.push_back(std::string(kYardSectionKey) + " = " + window.yard_stock.section);
    std::string measured;
    for (const optimiser::MeasuredBars& m : window.yard_stock.measured) {
      if (!measured.empty()) measured += ',';
      measured += std::to_string(m.length);
      if (m.bars < kAllBars) measured += "*" + std::to_string(m.bars);
    }
    lines.push_back(std::string(kYardMeasuredKey) + " = " + measured);
  }
  if (!window.grade.empty())
    lines.push_back(std::string(kGradeKey) + " = " + OneLine(window.grade));
  if (!window.import_note.empty())
    lines.push_back(std::string(kImportNoteKey) + " = " + OneLine(window.import_note));
  if (window.policy.offcuts_first) {
    lines.push_back(std::string(kOffcutsFirstKey) + " = 1");
    lines.push_back(std::string(kOffcutKeepKey) + " = " + std::to_string(window.policy.keep));
  }
  // The marks' section comes last: every key of the controls' section stays before it.
  if (const std::vector<optimiser::PieceMark>* marks = window.MarkList()) {
    for (std::string& line : MarkLines(*marks)) lines.push_back(std::move(line));
  }
  return lines;
}

FileResult WriteJobFile(JobWindow& window, const std::string& path, FileStamp* written) {
  std::string data;
  for (const std::string& line : JobFileLines(window)) {
    data += line;
    data += "\r\n";
  }
  FileResult result = ReplaceFile(path, data);
  if (result) window.SetDataModified(false);
  if (result && written != nullptr) *written = StampOfContent(path, data);
  return result;
}

std::string WithJobExtension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  const bool has_extension = dot != std::string::npos && dot > start;
  if (has_extension && base::UpperAscii(std::string_view(path).substr(dot + 1)) == "ZV5")
    return path;
  return (has_extension ? path.substr(0, dot) : path) + ".zv5";
}

std::string SaveName(const std::string& path) {
  constexpr std::string_view kExtension = ".ZV5";
  if (path.size() >= kExtension.size() && base::UpperAscii(std::string_view(path).substr(
                                              path.size() - kExtension.size())) == kExtension)
    return path;
  return path + ".zv5";
}

std::string CannotReadMessage(const std::string& path, const std::string& reason) {
  return PathMessage(path, "\nは読み込めません") + (reason.empty() ? "" : "\n" + reason);
}

std::string CannotWriteMessage(const std::string& path, const std::string& reason) {
  return PathMessage(path, "\nには書き込めません") + (reason.empty() ? "" : "\n" + reason);
}

std::string IncompleteJobMessage(const std::string& path, const JobLoad& load) {
  std::string message = FolderAndName(
      path, load.Complete() ? "\nを開きました。" : "\nは一部が欠けた仕事のファイルです。");
  // A few names a line, so that the dialog stays narrow.
  constexpr std::size_t kPerLine = 5;
  const auto names = [&](const std::vector<JobControl>& controls) {
    for (std::size_t i = 0; i < controls.size(); ++i) {
      message += i % kPerLine == 0 ? "\n" : base::Lit("、");
      message += base::Lit(Entry(controls[i]).label);
    }
  };
  if (!load.cut_short.empty()) {
    message += base::Lit("\n$途中で切れていたリスト（ファイルにあった行だけを入れました）：");
    names(load.cut_short);
  }
  if (!load.missing.empty()) {
    message += base::Lit("\n$欠けていた項目は新しい仕事の値にしました：");
    names(load.missing);
  }
  if (load.impossible_date)
    message += base::Lit("\n$日付がありえない日付です（ファイルのまま表示しています）。");
  if (!load.Complete())
    message += base::Lit("\n$上書き保存するときは、元のファイルに上書きしてよいか確かめます。");
  return message;
}

std::string UnsavableNameMessage(const std::string& path) {
  return PathMessage(path, "\nのファイル名に保存できない文字が含まれています");
}

}  // namespace zarvel::job
