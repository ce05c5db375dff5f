#include "job/job_file.h"

#include <algorithm>

#include "job/safe_file.h"
#include "text/cp932.h"
#include "text/format.h"

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

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    std::size_t j = i;
    while (j < n && text[j] != '\r' && text[j] != '\n') ++j;
    lines.push_back(text.substr(i, std::min(j - i, kMaxLineLength)));
    if (j < n && text[j] == '\r' && j + 1 < n && text[j + 1] == '\n') ++j;
    i = j + 1;
  }
  return lines;
}

bool OpenJobFile(JobWindow& window, const std::string& path) {
  std::string content;
  const bool exists = ReadWholeFile(path, content, kMaxJobFileSize);
  LoadJobText(window, exists ? &content : nullptr);
  return exists;
}

void LoadJobText(JobWindow& window, const std::string* content) {
  if (content != nullptr) {
    const std::vector<std::string> lines = SplitLines(*content);
    const std::vector<SavedControl*> controls = window.PersistentControls();
    if (LoadFormState(lines, kFormSection, controls)) {
      // Saved controls added after the first 54 lines: a file written before them loads
      // with them as a fresh job has them, not as the previous job left them.
      for (SavedControl* c : controls) {
        if (c->Name() != kCutDiagramControl) continue;
        const std::string key = c->Name() + " = ";
        // Within the section only, as the loader reads it.
        auto at = std::find(lines.begin(), lines.end(), "[" + std::string(kFormSection) + "]");
        bool named = false;
        for (++at; at != lines.end() && (at->empty() || (*at)[0] != '['); ++at)
          named = named || at->compare(0, key.size(), key) == 0;
        if (!named) c->SetChecked(false);
      }
    }
  }
  window.GridFrameSetup();
  window.RelayoutGrids();
  window.AfterLoad();
  window.SetDataModified(false);
}

std::vector<std::string> JobFileLines(JobWindow& window) {
  std::vector<std::string> lines{window.Caption()};
  SaveFormState(lines, kFormSection, window.PersistentControls());
  return lines;
}

bool WriteJobFile(JobWindow& window, const std::string& path) {
  std::string data;
  for (const std::string& line : JobFileLines(window)) {
    data += line;
    data += "\r\n";
  }
  if (!ReplaceFile(path, data)) return false;
  window.SetDataModified(false);
  return true;
}

std::string CannotReadMessage(const std::string& path) {
  return PathMessage(path, "\nは読み込めません");
}

std::string CannotWriteMessage(const std::string& path) {
  return PathMessage(path, "\nには書き込めません");
}

std::string UnsavableNameMessage(const std::string& path) {
  return PathMessage(path, "\nのファイル名に保存できない文字が含まれています");
}

}  // namespace zarvel::job
