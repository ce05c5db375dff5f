// The yard on a PostgreSQL server (libpq), and what both stores share: the checks of a change
// and the ledger's clock.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "yard/yard.h"

namespace zarvel::yard {

// Whether a yard's place names a server: a libpq URI, "postgresql://" or "postgres://".
bool IsServerPlace(const std::string& place);

// A place as messages name it: a server's URI without its password and options.
std::string ShownPlace(const std::string& place);

// Connects to the server and opens its yard, making the schema "zarvel5" on first use. A server
// slow to answer is waited for in steps of about 50 ms, ten seconds in all, through the
// options' waiting calls, which may cancel the wait.
std::unique_ptr<Yard> OpenServerYard(const std::string& uri, Status& status,
                                     const OpenOptions& options = {});

// Every add's section made canonical, and every value in range; the reason otherwise.
Status CheckChange(Change& change);

// The items whose counts are not their ledger's, named for a message (the first ten).
std::string MismatchNames(const std::vector<Mismatch>& mismatches);

// The ledger's time of now: UTC, "2026-12-07T15:30:00Z".
std::string NowUtc();

}  // namespace zarvel::yard
