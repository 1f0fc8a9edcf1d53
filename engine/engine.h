#pragma once
// Public entry of the ingestion engine: one call ingests one card. Everything a run needs
// comes in its request and its hooks, everything it found goes out in its result; the
// engine keeps nothing between calls, so one process may run several ingestions at once.

#include "card_source.h"
#include "failure.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace oakvane {

// How a card file's copy in the primary tree was (or, in a plan, will be) checked;
// already_ingested: an earlier run placed it in both trees and this one left it there, once
// its backup copy was re-read and found to match the card file.
enum class FileCheck { jpeg_decoded, raw_decoded, converter_verified, size_only, failed, skipped,
                       already_ingested };

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
    std::string message;  // why it failed or was skipped (kNotPlacedMessage when it did neither)
    // The card file's content hash as read from the card (XXH3-128, as xxh128sum prints
    // it); "" where the file was not read (a skipped file, a plan).
    std::string hash;
    // Its copies were read back after they were flushed and matched that hash.
    bool read_back = false;
    // A raw checked by its size only: why the decoder did not check it; "" otherwise.
    std::string unchecked_why;
};

// The message of a file a failed run did not reach.
inline constexpr char kNotPlacedMessage[] = "not placed: the run ended first";

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
    // Optional: whether folder lies on a card's own volume (removable media that is formatted
    // after ingestion). A run on such a card refuses to write its trees there. Hosts that
    // can't tell answer no.
    virtual bool folder_on_card(const std::string& folder) { (void)folder; return false; }
    // Optional: while the converter runs, how many of the run's raws have their DNG so far,
    // of how many the run gives it; called as DNGs appear.
    virtual void conversion_progress(int converted, int total) { (void)converted, (void)total; }
    // Optional: a line for whoever debugs a run (file lists, folder names, what a decoder
    // or the converter said); never meant for the output list. One line per call.
    virtual void diagnostic(std::string_view text) { (void)text; }
};

// When a photo was taken, as its camera recorded it in the photo itself.
struct CaptureDate {
    std::time_t wall_clock = 0;  // the camera's date and time, counted as if it were UTC
    std::optional<int> offset_minutes;  // the camera's offset east of UTC, where it recorded one
};

// Reads the capture date of a photo from the first bytes of its file (head); nullopt, with
// the reason in why, when it carries none or can't be read. Called from the run's thread.
using CaptureDateReader =
    std::function<std::optional<CaptureDate>(std::string_view head, std::string& why)>;

// Everything that describes one ingestion.
struct RunRequest {
    std::string card_folder;
    std::string backup_folder;
    std::string primary_folder;
    // The DNG converter; none runs when unset. An empty program fails as one that can't
    // be started would.
    std::optional<std::string> converter;
    std::string preview;  // the converter's preview switch
    std::string embed;    // its embed switch, "" for none
    bool verify_only = false;  // the converter only checks raws; they are copied unchanged
    // Date folders (when date_folders) one, two or three levels deep: day; year/day;
    // year/month/day.
    int date_depth = 1;
    bool date_folders = false;
    bool user_folder = false;
    bool range_folders = false;
    std::string user_folder_name;
    // The four name positions' codes, and their texts where a code takes one.
    std::string name_format;
    std::array<std::string, 4> texts;
    std::string sidecar_template;  // "" for no sidecars
    int starting_number = 0;       // the first automatic number
    // Every copy is read back after it is flushed and compared with the card's hash; off,
    // a copy is checked by its size (and a JPEG by its decode) only.
    bool read_back = true;
    // Raws copied as they are (camera DNGs always; the others when no converter gets them)
    // are unpacked whole by the raw decoder on the verifying threads.
    bool decode_raws = true;
    // Where a card's file times alone can't tell the camera's clock (exFAT, FUSE readers),
    // a few photos' capture dates settle it; unset, the file system decides alone.
    CaptureDateReader capture_dates;
    // Reads the card through a source of the host's own (a camera); unset, card_folder is
    // a folder and is read as one.
    CardSourceFactory card_source;
};

struct RunCounts {
    int images = 0;  // card files to copy (hidden ones left out)
    int raws_converted = 0;
    int copied_without_conversion = 0;
    int raws_verified = 0;  // converted ones and decoded ones
    int raws_decoded = 0;   // raws the decoder unpacked whole
    int jpegs_verified = 0;
    int unverified = 0;
    // Card files an earlier run already placed in both trees, found intact and left as they
    // are; they count in both of the report's sums.
    int already_ingested = 0;
};

enum class RunEnd { succeeded, failed, stopped };

// What a run hands back.
struct RunResult {
    RunEnd end = RunEnd::failed;
    RunCounts counts;                        // as far as the run got
    bool reported = false;                   // the run reached its report: the counts are whole
    std::optional<Failure> failure;          // why it failed (also "Stopped")
    std::string outcome;                     // the report's last line after a success
    std::optional<std::string> folder;       // last primary folder that received images
    std::optional<int> next_number;          // the next automatic number
    bool succeeded() const { return end == RunEnd::succeeded; }
};

// Ingests the card the request names; its output, progress and file records go to host.
RunResult ingest(const RunRequest& request, HostHooks& host);

// The "copy" command's request from its 19 arguments (argv[1] is "copy"); nullopt with the
// failure when they can't be taken. misuse tells a command written wrongly (the count, the
// switches' layout), which is no run's failure, from a value no run can use.
std::optional<RunRequest> parse_copy_arguments(int argc, const char* const argv[], Failure& failure,
                                               bool& misuse);

// The 19 arguments of the "copy" command for request, the reverse of parse_copy_arguments.
std::array<std::string, 19> copy_arguments(const RunRequest& request);

// The names of those arguments, in their order.
extern const std::array<const char*, 19> kCopyArgumentNames;

// The automatic number from its decimal text: leading blanks, an optional sign and the
// leading digits count; text without digits means 0. nullopt for a negative number or one
// beyond the largest int, which are refused rather than wrapped.
std::optional<int> parse_starting_number(std::string_view text);

// Shows failure as the output list's "ERROR:" lines, one text at a time through output.
void show_failure(const Failure& failure, const std::function<void(std::string_view)>& output);

// The "copy" command's folder and next number after a success; both empty otherwise.
struct CopycardResult {
    std::optional<std::string> folder;
    std::optional<std::string> next_number;  // decimal
};

// What the "copy" command takes besides its 19 arguments (from its environment).
struct CopycardOptions {
    bool read_back = true;    // RunRequest::read_back
    bool decode_raws = true;  // RunRequest::decode_raws
    CaptureDateReader capture_dates;  // RunRequest::capture_dates
    CardSourceFactory card_source;  // RunRequest::card_source
};

// Runs the command in argv[1] ("copy" ingests a card, "test" is the self-test): parses its
// arguments, runs it, and shows a failure through host.output_text. Returns 1 on success,
// 0 on failure or stop.
int copycard_main(int argc, const char* const argv[], HostHooks& host, CopycardResult& result,
                  const CopycardOptions& options = {});

}  // namespace oakvane
