// What only the yard's SQLite file needs, apart from the yard's interface: where the file lies
// (SQLite's locks do not hold on a network filesystem), the copies kept beside it, and putting
// one of them back. A server database has none of this.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "yard/yard.h"

namespace zarvel::yard {

// The kind of network filesystem holding `path` (or, when it does not exist, its folder):
// "NFS", "SMB/CIFS", ...; empty when it is local or cannot be told. `statfs` may be empty (the
// system's).
std::string NetworkFilesystem(const std::string& path, const OpenOptions& options);

// The text that refuses a yard on a network filesystem (UTF-8).
std::string NetworkMessage(const std::string& path, const std::string& kind);

inline constexpr std::size_t kKeptBackups = 14;

// The copy a day's first change makes: "yard.sqlite.2026-12-07.bak" for that local date.
std::string DailyBackupName(const std::string& path, const std::tm& local);
// The day's copies of `path` beside it, oldest first.
std::vector<std::string> DailyBackups(const std::string& path);
// Removes all but the last kKeptBackups of them.
void PruneBackups(const std::string& path);
// A free name beside `path` for a copy made now: "yard.sqlite.2026-12-07-153000.bak".
std::string TimedBackupName(const std::string& path);

// Copies the yard at `path` to `copy` (never over an existing file) through SQLite's online
// backup, consistent while other programs use the yard.
Status BackUpYard(const std::string& path, const std::string& copy,
                  const OpenOptions& options = {});

// Puts the yard copy `copy` in place of the yard at `path` (which may be damaged): the yard as
// it was is first copied beside itself (`saved`), and the restore becomes an entry ("restore",
// naming the copy) of the restored yard's ledger (`entry`). The copy must be a sound yard.
Status RestoreYard(const std::string& path, const std::string& copy, int64_t& entry,
                   std::string& saved, const OpenOptions& options = {});

}  // namespace zarvel::yard
