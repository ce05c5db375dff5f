// A thin RAII layer over the SQLite C API: a connection, prepared statements with bound
// parameters, and a write transaction. Errors throw SqlError, which never leaves the yard
// library: the store turns it into a Status.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zarvel::yard::sql {

class SqlError : public std::runtime_error {
 public:
  SqlError(int code, const std::string& what, int system_errno = 0)
      : std::runtime_error(what), code_(code), errno_(system_errno) {}
  int Code() const { return code_; }          // the primary SQLite result code
  int SystemErrno() const { return errno_; }  // the system's errno behind it, 0 when none

 private:
  int code_;
  int errno_;
};

class Database {
 public:
  Database() = default;
  ~Database() { Close(); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Opens `name` (a path, or a file: URI with SQLITE_OPEN_URI) with the sqlite3_open_v2 flags.
  void Open(const std::string& name, int flags);
  void Close();
  sqlite3* Handle() const { return db_; }
  // Runs statements without parameters (schema, pragmas, transaction control).
  void Exec(const std::string& sql);
  // The first column of the first row of a query without parameters, as an integer.
  int64_t QueryInt(const std::string& sql);
  int64_t LastInsertId() const { return sqlite3_last_insert_rowid(db_); }
  // Throws SqlError for `rc` unless it is one of the success codes.
  void Check(int rc) const;

 private:
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(Database& db, const char* sql);
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, const std::string& value);
  // Steps once: true with a row, false when done.
  bool Step();
  // Steps to the end (statements that return no rows).
  void Run() {
    while (Step()) {
    }
  }
  void Reset();
  int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) const;

 private:
  Database& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE: the write lock is taken before anything is read, so a read-check-write cannot
// be overtaken. Rolled back unless Commit() was called.
class WriteTransaction {
 public:
  explicit WriteTransaction(Database& db) : db_(db) { db_.Exec("BEGIN IMMEDIATE"); }
  ~WriteTransaction();
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;
  void Commit();

 private:
  Database& db_;
  bool done_ = false;
};

}  // namespace zarvel::yard::sql
