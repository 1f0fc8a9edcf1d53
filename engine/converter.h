#pragma once
// Running the outside DNG converter on a batch of raw files.

#include "failure.h"

#include <cstddef>
#include <string>
#include <vector>

namespace oakvane {

class Run;

// At most this many raw files go to one converter process.
inline constexpr std::size_t kMaxFilesPerProcess = 50;

// The text of one converter command line, for the trace: every entry in double quotes
// followed by one blank (so the text ends with a blank).
std::string converter_command_line(const std::vector<std::string>& entries);

// argv: entry 0 the converter path, then the switches and output folder (fixed_count
// entries in all, the path included), then the raw files. Starts one process per group of
// at most 50 files, in order, and stops at the first that fails. Returns 1 when every
// process exited with status 0 (also when there are no files: nothing is started).
// A failure's message is the reason (the converter's standard error, "Stopped", ...).
// files_done, when given, receives how many files belong to processes that succeeded.
Status run_converter(Run& run, const std::string& converter, const std::vector<std::string>& argv,
                     std::size_t fixed_count, std::size_t* files_done = nullptr);

// Runs argv (argv[0] the program) as one child process with its standard error on a pipe,
// polling it every 250 ms (progress_tick, stop_requested). After the child exits, processes
// it started get a few seconds to close that pipe; then its whole process group is ended.
// Good when the child exited with status 0 and none of those processes had a file below
// output_folder (when given) open; otherwise the failure says why: "Stopped" after a stop,
// the first 1024 bytes of its standard error, or the file left half-written. What the
// converter said is in said either way.
Status execute_converter(Run& run, const std::string& program, const std::vector<std::string>& argv,
                         std::string* said = nullptr, const std::string& output_folder = {});

}  // namespace oakvane
