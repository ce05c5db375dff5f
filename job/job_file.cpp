#include "job/job_file.h"

#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "job/piece_marks.h"
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

}  // namespace

FileResult OpenJobFile(JobWindow& window, const std::string& path) {
  std::string content;
  const FileResult read = ReadWholeFile(path, content, kMaxJobFileSize, Overlong::kFail);
  LoadJobText(window, read ? &content : nullptr);
  return read;
}

void LoadJobText(JobWindow& window, const std::string* content) {
  if (content != nullptr) {
    const std::vector<SavedControl*> controls = window.PersistentControls();
    // Saved controls added after the first 54 lines: a file written before them loads with
    // them as a fresh job has them, not as the previous job left them.
    std::vector<bool> named;
    if (LoadFormStateText(*content, kFormSection, controls, &named)) {
      for (std::size_t k = 0; k < controls.size(); ++k)
        if (!named[k] && controls[k]->Name() == kCutDiagramControl) controls[k]->SetChecked(false);
    }
    // A file without marks leaves none of the previous job's.
    if (std::vector<optimiser::PieceMark>* marks = window.MarkList()) *marks = ReadMarks(*content);
  }
  window.GridFrameSetup();
  window.RelayoutGrids();
  window.AfterLoad();
  if (content != nullptr) window.SetDataModified(false);
}

std::vector<std::string> JobFileLines(JobWindow& window) {
  std::vector<std::string> lines{window.Caption()};
  SaveFormState(lines, kFormSection, window.PersistentControls());
  // The marks' section comes last: every key of the controls' section stays before it.
  if (const std::vector<optimiser::PieceMark>* marks = window.MarkList()) {
    for (std::string& line : MarkLines(*marks)) lines.push_back(std::move(line));
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
