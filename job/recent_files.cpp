#include "job/recent_files.h"

#include <vector>

#include "base/cp932.h"
#include "base/lines.h"
#include "base/numbers.h"
#include "job/safe_file.h"
#include "job/settings.h"

namespace zarvel::job {
namespace {

constexpr std::size_t kMaxListFile = 64 * 1024;
constexpr std::size_t kMaxLine = 4096;

}  // namespace

std::array<std::string, 10> ParseRecentList(const std::string& content) {
  std::array<std::string, 10> paths;
  const std::vector<std::string> lines = base::SplitLines(content);
  for (std::size_t i = 0; i < paths.size() && i < lines.size(); ++i)
    paths[i] = base::Cp932ToUtf8(std::string(base::TrimBlanks(lines[i].substr(0, kMaxLine))));
  return paths;
}

void RecentFiles::Load() {
  items_.fill(std::string());
  std::string content;
  if (!ReadWholeFile(list_path_, content, kMaxListFile)) return;
  const std::array<std::string, 10> paths = ParseRecentList(content);
  for (std::size_t i = 0; i < paths.size(); ++i)
    if (!paths[i].empty() && IsRegularFile(paths[i])) items_[i] = paths[i];
}

void RecentFiles::Update(const std::string& path) {
  std::vector<std::string> list;
  if (!path.empty() && IsRegularFile(path) && FitsCp932(path)) list.push_back(path);
  for (const std::string& item : items_) {
    const std::string t(base::TrimBlanks(item));
    if (!t.empty() && t != path && IsRegularFile(t)) list.push_back(t);
  }
  if (list.size() > kItems) list.resize(kItems);
  items_.fill(std::string());
  for (std::size_t i = 0; i < list.size(); ++i) items_[i] = list[i];
  work_ = list.empty() ? "（なし）" : "-";
  clear_visible_ = !list.empty();
  std::string data;
  for (const std::string& item : items_)
    if (!item.empty() && IsRegularFile(item)) data += base::Utf8ToCp932(item) + "\r\n";
  ReplaceFile(list_path_, data);  // a list that cannot be written is not reported
}

void RecentFiles::Clear() {
  items_.fill(std::string());
  Update(std::string());
}

}  // namespace zarvel::job
