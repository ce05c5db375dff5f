#include "yard/sqlite.h"

namespace zarvel::yard::sql {

void Database::Open(const std::string& name, int flags) {
  Close();
  const int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    const int system_errno = db_ != nullptr ? sqlite3_system_errno(db_) : 0;
    Close();
    throw SqlError(rc & 0xff, message, system_errno);
  }
  sqlite3_extended_result_codes(db_, 0);
}

void Database::Close() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

void Database::Check(int rc) const {
  if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return;
  throw SqlError(rc & 0xff, db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc),
                 db_ != nullptr ? sqlite3_system_errno(db_) : 0);
}

void Database::Exec(const std::string& sql) {
  Check(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr));
}

int64_t Database::QueryInt(const std::string& sql) {
  Statement s(*this, sql.c_str());
  return s.Step() ? s.Int(0) : 0;
}

Statement::Statement(Database& db, const char* sql) : db_(db) {
  db_.Check(sqlite3_prepare_v2(db_.Handle(), sql, -1, &stmt_, nullptr));
}

Statement& Statement::Bind(int index, int64_t value) {
  db_.Check(sqlite3_bind_int64(stmt_, index, value));
  return *this;
}

Statement& Statement::Bind(int index, const std::string& value) {
  db_.Check(sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()),
                              SQLITE_TRANSIENT));
  return *this;
}

bool Statement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(stmt_);
  db_.Check(rc);
  return false;
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::string Statement::Text(int column) const {
  const auto* text = sqlite3_column_text(stmt_, column);
  if (text == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

WriteTransaction::~WriteTransaction() {
  if (!done_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void WriteTransaction::Commit() {
  db_.Exec("COMMIT");
  done_ = true;
}

}  // namespace zarvel::yard::sql
