#pragma once
// Public entry of the ingestion engine: one call ingests one card.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace oakvane {

// How a card file's copy in the primary tree was (or, in a plan, will be) checked.
enum class FileCheck { jpeg_decoded, converter_verified, size_only, failed, skipped };

// How a check reads in plans and reports ("JPEG decoded", "size only", ...).
const char* file_check_text(FileCheck check);

// What became of one card file. Paths are "" where the file got none (a skipped file, a DNG
// without a sidecar, a run that failed before the file reached the primary tree).
struct FileRecord {
    std::string card_path;
    std::uint64_t size = 0;
    std::string backup_path;
    std::string backup_sidecar;
    std::string primary_path;  // the DNG's path for a raw given to the converter
    std::string primary_sidecar;
    FileCheck check = FileCheck::size_only;
    std::string message;  // why it failed or was skipped
};

// The engine's only contact with whoever runs it (desktop window, command line, tests).
// Every call comes from the engine's own thread, in order; output_text must have shown
// its text before it returns.
class HostHooks {
public:
    virtual ~HostHooks() = default;
    // A text for the output list; see output_lines() for how it becomes list lines.
    virtual void output_text(std::string_view text) = 0;
    // The phase text of the progress display.
    virtual void progress_status(std::string_view text) = 0;
    // A new progress range 0..n, position 0, step 1.
    virtual void progress_range(int n) = 0;
    virtual void progress_step() = 0;
    // Called while work runs that cannot be counted (the converter).
    virtual void progress_tick() = 0;
    // Nonzero once the user asked the run to stop; polled between blocks of work.
    virtual int stop_requested() = 0;
    // Optional: the outcome of one card file, once the run has settled it (or once a plan
    // has worked it out). Hosts that keep no report need not implement it.
    virtual void file_record(const FileRecord& record) { (void)record; }
};

// What a successful run hands back; both stay empty after a failure.
struct CopycardResult {
    std::optional<std::string> folder;       // last primary folder that received images
    std::optional<std::string> next_number;  // the next automatic number, decimal
};

// Runs the command in argv[1] ("copy" ingests a card, "test" is the self-test).
// Returns 1 on success, 0 on failure or stop; a failure has been shown through
// host.output_text and its message is on standard error.
int copycard_main(int argc, const char* const argv[], HostHooks& host, CopycardResult& result);

// The message of the last recorded failure of the most recent run ("" when none).
const std::string& last_error_text();

}  // namespace oakvane
