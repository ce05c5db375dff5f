#include "app/job_guard.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "app/qt_text.h"
#include "base/app_info.h"
#include "job/job_file.h"
#include "job/safe_file.h"

namespace zarvel::app {
namespace {

// Folder and name on lines of their own, as the file messages show a path.
QString PathLines(const QString& path) {
  const QFileInfo info(path);
  return info.path() + QStringLiteral("/\n") + info.fileName();
}

QMessageBox* Question(QWidget* parent, const QString& text) {
  auto* box = new QMessageBox(QMessageBox::Warning, Qs(base::ApplicationTitle()), text,
                              QMessageBox::NoButton, parent);
  box->setAttribute(Qt::WA_DeleteOnClose, false);
  return box;
}

}  // namespace

JobGuard::JobGuard() = default;
JobGuard::~JobGuard() = default;

QString JobGuard::LockPath(const QString& job) {
  const QFileInfo info(job);
  return info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".lock");
}

bool JobGuard::HoldsLockOf(const QString& path) const {
  return lock_ != nullptr && !path_.isEmpty() &&
         job::SameFile(path.toStdString(), path_.toStdString());
}

bool JobGuard::TryLock(const QString& path, QString& holder) {
  pending_.reset();
  // The job open now is already ours when we hold its lock (not when it was opened read-only).
  if (HoldsLockOf(path)) return true;
  auto lock = std::make_unique<QLockFile>(LockPath(path));
  // A lock is stale only when the program that took it is gone (after a crash): never by age.
  lock->setStaleLockTime(0);
  if (lock->tryLock(0)) {
    pending_ = std::move(lock);
    return true;
  }
  if (lock->error() != QLockFile::LockFailedError) return true;  // a folder we cannot write to
  qint64 pid = 0;
  QString host, application;
  lock->getLockInfo(&pid, &host, &application);
  QString who = QFileInfo(LockPath(path)).owner();
  if (who.isEmpty()) who = QStringLiteral("ほかの利用者");
  holder = QStringLiteral("%1 さんが %2 で開いています（プロセス番号 %3）。")
               .arg(who, host.isEmpty() ? QStringLiteral("ほかのコンピューター") : host)
               .arg(pid);
  return false;
}

JobGuard::Claim JobGuard::ClaimFor(const QString& path, QWidget* parent) {
  QString holder;
  if (TryLock(path, holder)) return Claim::kOpen;
  const QString text = PathLines(path) + QStringLiteral("\nは、") + holder +
                       QStringLiteral(
                           "\n\n読み取り専用で開きますか？\n（上書き保存はできません。"
                           "名前を付けて保存はできます）");
  if (ask_open_locked) return ask_open_locked(text);
  std::unique_ptr<QMessageBox> box(Question(parent, text));
  QPushButton* read_only =
      box->addButton(QStringLiteral("読み取り専用で開く(&R)"), QMessageBox::AcceptRole);
  QPushButton* cancel = box->addButton(QStringLiteral("開かない(&N)"), QMessageBox::RejectRole);
  box->setDefaultButton(cancel);
  box->exec();
  return box->clickedButton() == read_only ? Claim::kReadOnly : Claim::kCancel;
}

void JobGuard::Opened(const QString& path, const job::FileStamp& stamp, bool damaged,
                      bool read_only) {
  if (pending_ || !HoldsLockOf(path)) lock_ = std::move(pending_);
  pending_.reset();
  if (read_only) lock_.reset();
  path_ = path;
  stamp_ = stamp;
  damaged_ = damaged;
  read_only_ = read_only;
}

void JobGuard::Abandon() {
  pending_.reset();
}

void JobGuard::Release() {
  pending_.reset();
  lock_.reset();
  path_.clear();
  stamp_ = {};
  damaged_ = false;
  read_only_ = false;
}

JobGuard::SaveChoice JobGuard::BeforeSave(const QString& path, QWidget* parent) {
  QString text;
  if (damaged_) {
    text = PathLines(path) + QStringLiteral(
                                 "\nは、一部が欠けたまま開いた仕事のファイルです。\n"
                                 "上書きすると、読めなかった部分はファイルからも無くなります。");
  } else if (!path_.isEmpty() && stamp_.exists) {
    const job::FileStamp now = job::StampOfFile(path.toStdString(), job::kMaxJobFileSize);
    // A file gone since holds nothing a save could lose: it is written again (or fails).
    if (!now.exists || !job::ChangedSince(stamp_, now)) return SaveChoice::kOverwrite;
    text = PathLines(path) + QStringLiteral(
                                 "\nは、開いた後でほかから変更されています（%1）。\n"
                                 "上書きすると、その変更は失われます。")
                                 .arg(Qs(job::StampTime(now)));
  } else {
    return SaveChoice::kOverwrite;
  }
  if (ask_before_save) return ask_before_save(text);
  std::unique_ptr<QMessageBox> box(Question(parent, text));
  QPushButton* overwrite =
      box->addButton(QStringLiteral("上書き(&O)"), QMessageBox::DestructiveRole);
  QPushButton* save_as =
      box->addButton(QStringLiteral("名前を付けて保存(&A)"), QMessageBox::AcceptRole);
  QPushButton* cancel = box->addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
  box->setDefaultButton(save_as);
  box->setEscapeButton(cancel);
  box->exec();
  if (box->clickedButton() == overwrite) return SaveChoice::kOverwrite;
  if (box->clickedButton() == save_as) return SaveChoice::kSaveAs;
  return SaveChoice::kCancel;
}

bool JobGuard::ClaimForSaveAs(const QString& path, const QString& current, QWidget* parent) {
  const std::string target = path.toStdString();
  QString holder;
  if (!TryLock(path, holder)) {
    const QString text = PathLines(path) + QStringLiteral("\nは、") + holder +
                         QStringLiteral("\n\n別の名前で保存して下さい。");
    if (ask_replace) {
      ask_replace(text);
    } else {
      std::unique_ptr<QMessageBox> box(Question(parent, text));
      box->addButton(QStringLiteral("確認"), QMessageBox::AcceptRole);
      box->exec();
    }
    return false;
  }
  const bool own = !current.isEmpty() && job::SameFile(target, current.toStdString());
  if (own || !QFileInfo::exists(path)) return true;
  const QString text = PathLines(path) + QStringLiteral("\nは既に有ります。\n置き換えますか？");
  bool replace = false;
  if (ask_replace) {
    replace = ask_replace(text);
  } else {
    std::unique_ptr<QMessageBox> box(Question(parent, text));
    QPushButton* yes =
        box->addButton(QStringLiteral("置き換える(&Y)"), QMessageBox::DestructiveRole);
    QPushButton* no = box->addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    box->setDefaultButton(no);
    box->exec();
    replace = box->clickedButton() == yes;
  }
  if (!replace) pending_.reset();
  return replace;
}

void JobGuard::Saved(const job::FileStamp& stamp) {
  stamp_ = stamp;
  damaged_ = false;
}

}  // namespace zarvel::app
