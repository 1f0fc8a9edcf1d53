#pragma once
// The state of one ingestion run. There is one run at a time per process; copycard_main
// resets all of it before it looks at its arguments.

#include "card_clock.h"
#include "engine.h"
#include "fs_util.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace oakvane {

inline constexpr std::size_t kCopyBufferSize = 1048576;
inline constexpr std::size_t kConverterMessageSize = 2000;  // cvt_msg, terminator included
inline constexpr std::size_t kLastErrorSize = 500;          // last_error, terminator included

// One number-range folder of this run: created under its placeholder name, renamed after
// the backup pass to "lowest-highest".
struct RangeRecord {
    std::string path;  // full path with the placeholder name
    int lowest = 0;
    int highest = 0;
};

// A card file the count found, for the free-space check and the plan.
struct CardEntry {
    std::string path;
    std::uint64_t size = 0;
};

struct RunState {
    HostHooks* host = nullptr;

    // Settings from the argument vector.
    std::string card_folder;
    std::string backup_folder;
    std::string primary_folder;
    std::string converter;  // "" when the argument was "none"
    std::string arrangement;
    std::array<std::string, 4> texts;
    std::string fmt;
    std::string preview;
    std::string embed;
    bool verify_only = false;
    std::string sidecar_path;
    std::string arr_switches;
    std::string user_folder;
    std::string backup_root;
    posix::CardClock card_clock;  // how the card's file times give the camera's clock

    int running_number = 0;
    int image_count = 0;
    int raw_count = 0;            // raws handed to the converter
    int unconverted_count = 0;    // files copied unchanged and checked by size
    int jpeg_verified_count = 0;  // copied JPEGs that decoded cleanly

    std::vector<std::string> arg_vec;   // backup copies made so far, in copy order
    std::vector<std::string> sidecars;  // sidecars made next to backup copies
    std::vector<RangeRecord> ranges;    // newest first
    std::vector<CardEntry> card_files;  // every file the count will copy, in walk order
    // The card file of each backup copy, for the hosts' file records: staged ones by the
    // name they are meant to get, published ones beside the backup list, then by final path.
    std::map<std::string, std::deque<CardEntry>> unpublished_sources;
    std::vector<CardEntry> backup_sources;
    std::map<std::string, CardEntry> source_of_backup;
    std::vector<char> copy_buffer;
    std::set<std::string> swept_folders;    // folders cleared of staging leftovers
    std::set<std::string> changed_folders;  // folders whose entries must be flushed
    // Card paths, less ".xmp" in any case, of the sidecars the card holds itself, and the
    // backup copies of images that came with such a sidecar: those get no template sidecar.
    std::set<std::string> card_sidecars;
    std::set<std::string> own_sidecar_copies;
    UniqueFd backup_lock;                   // held on the backup root while the run writes
    UniqueFd primary_lock;                  // held on the primary root likewise

    std::string cvt_msg;     // converter output or a message of the primary copy
    std::string last_error;  // the last recorded failure
    std::optional<std::string> last_primary_folder;

    // A plan runs the naming and arrangement code without writing: make_dir only notes the
    // folders that do not exist yet.
    bool planning = false;
    std::set<std::string> planned_folders;
    std::unordered_set<std::string> existing_folders;
};

RunState& run_state();
HostHooks& host();

// The engine's single failure path: writes msg to standard error, keeps it (cut to 499
// characters) as the run's last error and returns 0 for the caller to pass on.
int record_error(std::string_view msg);

// As record_error, after a diagnostic line on standard error naming the path and errno's
// text, so that the failing file can be found without changing the user-visible message.
int record_errno_error(std::string_view msg, std::string_view path, int err);

// Releases the copy buffer, the backup list and the sidecar list.
void engine_cleanup();

// Puts text into a message buffer of the given size, cut to size - 1 characters.
void set_message(std::string& buffer, std::string_view text, std::size_t size);

// A diagnostic line on standard error; never shown to the user.
void trace(std::string_view text);

}  // namespace oakvane
