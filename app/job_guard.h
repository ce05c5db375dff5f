// Keeps the open job from being lost to another copy of the program or to a change on disk: a
// lock file beside the job while it is open, and what the file was when it was last read or
// written, compared before every save.
#pragma once

#include <QLockFile>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "job/file_stamp.h"

namespace zarvel::app {

class JobGuard final {
 public:
  enum class Claim { kOpen, kReadOnly, kCancel };
  enum class SaveChoice { kOverwrite, kSaveAs, kCancel };

  JobGuard();
  ~JobGuard();

  // Replaceable for tests: the questions (the text shown; the answer).
  std::function<Claim(const QString& text)> ask_open_locked;
  std::function<SaveChoice(const QString& text)> ask_before_save;
  std::function<bool(const QString& text)> ask_replace;

  // Before the job at `path` replaces the open one: takes its lock, held pending until Opened or
  // Abandon. When another program has it open, says who and asks whether to open it read-only.
  Claim ClaimFor(const QString& path, QWidget* parent);
  // The claimed job is now the window's: its lock replaces the previous one's.
  void Opened(const QString& path, const job::FileStamp& stamp, bool damaged, bool read_only);
  // The claimed job was not opened after all: its lock goes, the open job keeps its own.
  void Abandon();
  // The window holds no file any more (a fresh job).
  void Release();

  // Before Save writes the open job's file: overwrite it, save under another name, or nothing.
  // Asks when the file changed since it was read or written, or was opened damaged.
  SaveChoice BeforeSave(const QString& path, QWidget* parent);
  // Before Save As writes `path`: false when another program has it open (and says so), or when
  // it is another existing file that the user does not want replaced. `path` is then claimed.
  bool ClaimForSaveAs(const QString& path, const QString& current, QWidget* parent);
  // After a successful save to the open job's file.
  void Saved(const job::FileStamp& stamp);

  bool ReadOnly() const { return read_only_; }
  bool Damaged() const { return damaged_; }
  // The lock file of a job: hidden, beside it.
  static QString LockPath(const QString& job);

 private:
  // Takes the lock of `path` into pending_; false with the holder's words when another has it.
  bool TryLock(const QString& path, QString& holder);
  bool HoldsLockOf(const QString& path) const;

  QString path_;                     // the open job's file (empty: none)
  std::unique_ptr<QLockFile> lock_;  // its lock (none when the folder takes no lock file)
  std::unique_ptr<QLockFile> pending_;
  job::FileStamp stamp_;
  bool damaged_ = false;
  bool read_only_ = false;
};

}  // namespace zarvel::app
