// One shape for every failure that reaches the user, from a file, the yard or a run: what kind
// it is, the system's errno where the system gave one, and a Japanese sentence to show.
#pragma once

#include <string>

namespace zarvel::base {

struct Error {
  enum class Code {
    kOk,
    kUsage,        // a value or word the user gave that cannot be used
    kUnreadable,   // a file that cannot be read, or is not what it should be
    kUnwritable,   // a file that cannot be written
    kRunMessage,   // the run ended with one of its messages
    kOutdated,     // a plan older than the job it was made from
    kCommitted,    // a plan committed already
    kNotFromYard,  // a plan whose stock was not taken from the yard
    kYardChanged,  // the yard's bars a plan relied on are no longer there
    kYardRefused,  // a change the yard's state does not allow
    kYardInvalid,  // a value the yard does not take, an unknown id
    kYardReadOnly,
    kYardBusy,
    kYardCancelled,  // the user stopped waiting for a busy yard
    kYardDamaged,
    kYardForeign,
    kYardMismatch,  // counts that are not the sums of their ledger moves
    kYardDiskFull,
    kYardNetwork,  // a yard file on a network filesystem
    kYardFailed,
  };
  Code code = Code::kOk;
  int sys_errno = 0;    // the system's errno, 0 where there is none
  std::string message;  // UTF-8, for the user; empty when ok

  bool Ok() const { return code == Code::kOk; }
  explicit operator bool() const { return Ok(); }
  static Error Fail(Code code, std::string message, int sys_errno = 0) {
    return {code, sys_errno, std::move(message)};
  }
};

// The errno's reason as the user reads it (UTF-8): the system's own texts are English, so the
// errors a file or the yard meets in practice have their Japanese words here, the rest the
// errno's symbolic name.
std::string SystemReason(int sys_errno);

}  // namespace zarvel::base
