#include "job/job_file.h"

#include "base/cp932.h"
#include "base/format.h"
#include "base/lines.h"
#include "base/numbers.h"
#include "job/safe_file.h"

namespace zarvel::job {
namespace {

std::string PathMessage(const std::string& path, const char* utf8_tail) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return text::Lit("[×]") + text::Utf8ToCp932(folder) + "\n" + text::Utf8ToCp932(name) +
         text::Lit(utf8_tail);
}

// The yard's lines of the job's section.
YardStockNote ReadYardStock(const std::string& content) {
  YardStockNote note;
  bool inside = false;
  const std::string section_key = std::string(kYardSectionKey) + " = ";
  const std::string measured_key = std::string(kYardMeasuredKey) + " = ";
  // Walked in place: a hostile file of millions of lines must not become millions of strings.
  const std::string_view all(content);
  for (std::size_t at = 0; at < all.size();) {
    std::size_t end = all.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view view = all.substr(at, std::min(end - at, text::kMaxLineLength));
    at = end + 1;
    if (view.empty() || (view[0] != '[' && view[0] != 'Y')) continue;
    const std::string line(view);
    if (line[0] == '[') {
      if (inside) break;
      inside = line == std::string("[") + kFormSection + "]";
    } else if (inside && line.rfind(section_key, 0) == 0) {
      note.section = line.substr(section_key.size());
    } else if (inside && line.rfind(measured_key, 0) == 0) {
      note.measured.clear();
      const std::string list = line.substr(measured_key.size());
      for (std::size_t from = 0; from < list.size();) {
        std::size_t comma = list.find(',', from);
        if (comma == std::string::npos) comma = list.size();
        const int32_t length = text::AtoI(list.substr(from, comma - from));
        if (length > 1 && note.measured.size() < 1000) note.measured.push_back(length);
        from = comma + 1;
      }
    }
  }
  if (note.section.empty()) note.measured.clear();
  return note;
}

}  // namespace

FileResult OpenJobFile(JobWindow& window, const std::string& path) {
  std::string content;
  const FileResult read = ReadWholeFile(path, content, kMaxJobFileSize, Overlong::kFail);
  LoadJobText(window, read ? &content : nullptr);
  return read;
}

void LoadJobText(JobWindow& window, const std::string* content) {
  if (content != nullptr) {
    window.yard_stock = ReadYardStock(*content);
    const std::vector<SavedControl*> controls = window.PersistentControls();
    // Saved controls added after the first 54 lines: a file written before them loads with
    // them as a fresh job has them, not as the previous job left them.
    std::vector<bool> named;
    if (LoadFormStateText(*content, kFormSection, controls, &named)) {
      for (std::size_t k = 0; k < controls.size(); ++k)
        if (!named[k] && controls[k]->Name() == kCutDiagramControl) controls[k]->SetChecked(false);
    }
  }
  window.GridFrameSetup();
  window.RelayoutGrids();
  window.AfterLoad();
  if (content != nullptr) window.SetDataModified(false);
}

std::vector<std::string> JobFileLines(JobWindow& window) {
  std::vector<std::string> lines{window.Caption()};
  SaveFormState(lines, kFormSection, window.PersistentControls());
  if (!window.yard_stock.Empty()) {
    lines.push_back(std::string(kYardSectionKey) + " = " + window.yard_stock.section);
    std::string measured;
    for (const int32_t length : window.yard_stock.measured)
      measured += (measured.empty() ? "" : ",") + std::to_string(length);
    lines.push_back(std::string(kYardMeasuredKey) + " = " + measured);
  }
  return lines;
}

FileResult WriteJobFile(JobWindow& window, const std::string& path) {
  std::string data;
  for (const std::string& line : JobFileLines(window)) {
    data += line;
    data += "\r\n";
  }
  FileResult result = ReplaceFile(path, data);
  if (result) window.SetDataModified(false);
  return result;
}

std::string WithJobExtension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  const bool has_extension = dot != std::string::npos && dot > start;
  if (has_extension && text::UpperAscii(std::string_view(path).substr(dot + 1)) == "ZV5")
    return path;
  return (has_extension ? path.substr(0, dot) : path) + ".zv5";
}

std::string CannotReadMessage(const std::string& path, const std::string& reason) {
  return PathMessage(path, "\nは読み込めません") + (reason.empty() ? "" : "\n" + reason);
}

std::string CannotWriteMessage(const std::string& path, const std::string& reason) {
  return PathMessage(path, "\nには書き込めません") + (reason.empty() ? "" : "\n" + reason);
}

std::string UnsavableNameMessage(const std::string& path) {
  return PathMessage(path, "\nのファイル名に保存できない文字が含まれています");
}

}  // namespace zarvel::job
