// The recent-job list behind File > 開き直す: ten items, newest first, kept in a list file.
#pragma once

#include <array>
#include <string>

namespace zarvel::job {

// The paths of a list file's content (UTF-8, trimmed, at most ten; empty lines kept as empty).
std::array<std::string, 10> ParseRecentList(const std::string& content);

class RecentFiles {
 public:
  static constexpr int kItems = 10;

  explicit RecentFiles(std::string list_path) : list_path_(std::move(list_path)) {}

  // Fills the items from the list file; a line naming a missing file leaves its item empty.
  void Load();
  // Puts `path` (UTF-8, may be empty) on top, drops entries of missing files and the
  // eleventh, and rewrites the list file.
  void Update(const std::string& path);
  // Empties every item and rewrites the list empty.
  void Clear();

  const std::array<std::string, kItems>& Items() const { return items_; }
  // "-" while the list has entries, "（なし）" when it is empty (UTF-8).
  const std::string& WorkCaption() const { return work_; }
  bool ClearVisible() const { return clear_visible_; }

 private:
  std::string list_path_;
  std::array<std::string, kItems> items_;
  std::string work_ = "-";
  bool clear_visible_ = true;
};

}  // namespace zarvel::job
