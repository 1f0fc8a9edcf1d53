#pragma once
// The error trace: a process-wide stack of failed checks (newest first), printed to standard
// error when the process exits, with the errno symbol of the oldest entry, where the failure
// started. Also an optional diagnostic log, off unless OAKVANE_TRACE_LOG=1: trace.log in
// $XDG_STATE_HOME/oakvane (default ~/.local/state/oakvane), a folder private to the user.

#include <climits>
#include <cstddef>
#include <string>
#include <vector>

// The trace's own code for an internal error; prints as "Internal error (nonstandard)".
inline constexpr int EC_EINTERNAL = INT_MAX;

// One record of the symbol table; a null category ends the table.
struct ec_symbol {
    const char* category;
    int value;
    const char* name;
    const char* description;
};
extern const ec_symbol ec_symbols[];

// Adds one entry: "<function> [<file>:<line>] <expression>" with the errno value seen by the
// caller. Never fails towards the caller. The first push registers ec_print to run at exit.
void ec_push(const char* function, const char* file, int line, const char* expression,
             int errno_value, void* data);

// Writes the whole trace to standard error (and to the log when it is on). Does not empty it.
void ec_print();

// One line to the diagnostic log when the log is on; otherwise nothing.
void ec_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The name of the first symbol of the category with that value, or "?". description (may be
// null) receives its description, or "?".
const char* ec_lookup(const char* category, int value, const char** description);

// Formats an entry's text with its errno decoration into buf (bounded by size); returns buf.
char* ec_errno_text(char* buf, std::size_t size, const char* text, int errno_value, void* data);

// The entries now on the trace, newest first (for tests and for callers that show them).
struct ec_entry {
    std::string text;
    int errno_value;
};
std::vector<ec_entry> ec_entries();
