#include "yard/sqlite_file.h"

#include <sys/statfs.h>

#include <algorithm>
#include <filesystem>

#include "base/format.h"

namespace zarvel::yard {

namespace fs = std::filesystem;

std::string NetworkFilesystem(const std::string& path, const OpenOptions& options) {
  // Magic numbers of statfs's f_type (linux/magic.h and the filesystems' own sources).
  static const std::pair<unsigned long, const char*> kinds[] = {
      {0x6969, "NFS"},          {0x517b, "SMB/CIFS"},   {0xff534d42, "SMB/CIFS"},
      {0xfe534d42, "SMB/CIFS"}, {0x564c, "NCP"},        {0x73757245, "Coda"},
      {0x5346414f, "AFS"},      {0x6b414653, "AFS"},    {0x01021997, "9P"},
      {0x00c36400, "Ceph"},     {0x0bd00bd0, "Lustre"}, {0x47504653, "GPFS"},
      {0x01161970, "GFS2"},     {0x7461636f, "OCFS2"},  {0x65735546, ""},  // FUSE: local or not
  };
  std::error_code ec;
  fs::path where = fs::absolute(path, ec);
  while (!where.empty() && !fs::exists(where, ec) && where != where.parent_path())
    where = where.parent_path();
  struct statfs st {};
  const int rc = options.statfs ? options.statfs(where.c_str(), &st) : ::statfs(where.c_str(), &st);
  if (rc != 0) return {};
  const auto type = static_cast<unsigned long>(st.f_type) & 0xffffffffUL;
  for (const auto& [magic, name] : kinds)
    if (type == magic) return name;
  return {};
}

std::string NetworkMessage(const std::string& path, const std::string& kind) {
  return base::Format(
      "在庫ファイル %s はネットワーク上のフォルダ（%s）にあります。ネットワーク上では SQLite "
      "のロックが効かず、複数の PC から使うと在庫ファイルが壊れるため、変更できません。"
      "在庫ファイルは各 PC のディスクに置くか、複数の PC で使うときは共有の在庫"
      "（在庫サーバー）を使って下さい。読むだけなら --allow-network-file を付けて下さい。",
      path.c_str(), kind.c_str());
}

std::string DailyBackupName(const std::string& path, const std::tm& local) {
  return base::Format("%s.%04d-%02d-%02d.bak", path.c_str(), local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday);
}

std::vector<std::string> DailyBackups(const std::string& path) {
  std::vector<std::string> found;
  const fs::path file = fs::absolute(path);
  const std::string prefix = file.filename().string() + ".";
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(file.parent_path(), ec)) {
    const std::string name = e.path().filename().string();
    // prefix + "YYYY-MM-DD.bak"
    if (name.size() != prefix.size() + 14 || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - 4, 4, ".bak") != 0)
      continue;
    const std::string date = name.substr(prefix.size(), 10);
    const bool dated = std::all_of(date.begin(), date.end(),
                                   [](char c) { return (c >= '0' && c <= '9') || c == '-'; }) &&
                       date[4] == '-' && date[7] == '-';
    if (dated) found.push_back((file.parent_path() / name).string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

void PruneBackups(const std::string& path) {
  const std::vector<std::string> kept = DailyBackups(path);
  std::error_code ec;
  for (std::size_t i = 0; i + kKeptBackups < kept.size(); ++i) fs::remove(kept[i], ec);
}

std::string TimedBackupName(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  const std::string stem =
      base::Format("%s.%04d-%02d-%02d-%02d%02d%02d", path.c_str(), tm.tm_year + 1900, tm.tm_mon + 1,
                   tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::string name = stem + ".bak";
  for (int n = 2; fs::exists(name); ++n) name = base::Format("%s-%d.bak", stem.c_str(), n);
  return name;
}

}  // namespace zarvel::yard
