#pragma once
// The state of one ingestion run. A run owns all of it and passes it down to every step;
// nothing outlives the run, and two runs share nothing.

#include "card_clock.h"
#include "engine.h"
#include "library_index.h"
#include "tree_writer.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace oakvane {

inline constexpr std::size_t kCopyBufferSize = 1048576;

// One number-range folder of this run: created under its placeholder name, renamed after
// the backup pass to "lowest-highest".
struct RangeRecord {
    std::string path;  // full path with the placeholder name
    int lowest = 0;
    int highest = 0;
};

// A card file the count found, for the free-space check and the file records.
struct CardEntry {
    std::string path;
    std::uint64_t size = 0;
    std::string hash;  // its content hash once it was read, "" before
};

// A host call made while a file was staged ahead of earlier files' results; it is made for
// real when that file is accepted, so output keeps the order of one file at a time.
// A copy the run published in one of its trees, for the trees' histories.
struct PublishedCopy {
    std::string path;
    std::string hash;
    std::string card_path;  // the card file it is a copy (or a DNG) of
};

struct HeldCall {
    enum class Kind { text, status, range, step, tick, diagnostic } kind;
    std::string text;
    int n = 0;
};

class CardSource;

class Run {
public:
    Run(const RunRequest& request, HostHooks& host, TreeWriter& writer, CardSource& card);
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    const RunRequest request;
    TreeWriter& writer;
    CardSource& card;

    // The host's hooks, through the run so that calls can be held (see hold).
    void output(std::string_view text);
    void status(std::string_view text);
    void range(int n);
    void step();
    void tick();
    void diagnostic(std::string_view text);
    bool stop_requested() { return m_host.stop_requested() != 0; }
    void file_record(const FileRecord& record);
    // A copy now stands under its final name in one of the trees, with its content hash.
    void note_published(const std::string& path, const std::string& hash, const std::string& card_path)
    {
        published.push_back({path, hash, card_path});
    }
    bool folder_on_card(const std::string& folder) { return m_host.folder_on_card(folder); }
    // A raw placed at primary_path was not decoded, for why.
    void note_raw_unchecked(const std::string& primary_path, const std::string& why)
    {
        raws_unchecked[primary_path] = why;
    }
    // Tells the host how many DNGs the converter has made so far: those of earlier folders
    // and the ones now in the folder it writes into.
    void conversion_progress();
    // While into is set, output, progress and diagnostics are kept there instead.
    void hold(std::vector<HeldCall>* into) { m_holding = into; }
    void replay(const std::vector<HeldCall>& calls);

    bool converting() const { return request.converter.has_value(); }

    int running_number = 0;
    RunCounts counts;
    bool reported = false;  // the report's counts are made
    int raw_count = 0;  // raws handed to the converter
    int raws_to_convert = 0;      // raws on the card the converter gets
    int raws_converted = 0;       // of those, the ones of folders done
    std::string converting_into;  // the folder the converter writes into now, "" when none
    int progress_shown = -1;      // the count last shown
    posix::CardClock card_clock;  // how the card's file times give the camera's clock

    std::vector<std::string> backups;   // backup copies made so far, in copy order
    std::vector<std::string> sidecars;  // sidecars made next to backup copies
    std::vector<RangeRecord> ranges;    // newest first
    std::vector<CardEntry> card_files;  // every file the count will copy, in walk order
    // The card file of each backup copy, for the hosts' file records: staged ones by the
    // name they are meant to get, published ones beside the backup list, then by final path.
    std::map<std::string, std::deque<CardEntry>> unpublished_sources;
    std::vector<CardEntry> backup_sources;
    std::map<std::string, CardEntry> source_of_backup;
    std::vector<char> copy_buffer;
    // Card paths, less ".xmp" in any case, of the sidecars the card holds itself, and the
    // backup copies of images that came with such a sidecar: those get no template sidecar.
    std::set<std::string> card_sidecars;
    std::set<std::string> own_sidecar_copies;
    std::optional<std::string> last_primary_folder;
    const std::time_t started;  // when the run began, for the trees' histories
    std::vector<PublishedCopy> published;  // in the order they were published
    // The copies of an image that failed, which the trees' histories never list as good.
    std::set<std::string> failed_copies;
    bool histories_written = false;  // a run adds one generation per tree, however it ends
    bool checked_from_cache = false;  // the output list said copies were read from the cache
    // The raws placed but not decoded, by primary path, with why.
    std::map<std::string, std::string> raws_unchecked;
    LibraryIndex library;  // what earlier runs placed in the trees
    std::string template_hash;  // of the metadata template, once a sidecar was made from it

private:
    HostHooks& m_host;
    std::vector<HeldCall>* m_holding = nullptr;
};

}  // namespace oakvane
