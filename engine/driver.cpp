#include "driver.h"

#include "arrangement.h"
#include "backup_copy.h"
#include "card_file.h"
#include "card_source.h"
#include "card_time.h"
#include "file_kinds.h"
#include "file_records.h"
#include "histories.h"
#include "ingested.h"
#include "primary_copy.h"
#include "settings_check.h"
#include "text_format.h"

#include <cerrno>
#include <ctime>
#include <map>

namespace oakvane {

namespace {

constexpr int kMaxAutomaticNumber = 9999;

// Counts the files on the card whose names do not begin with "." into the run's image
// count; a link or a file that is not a regular file fails.
Status count_images(Run& run)
{
    run.counts.images = 0;
    Status listed = run.card.list([&](const CardItem& item) {
        bool copy = false;
        if (Status classified = classify_card_entry(item, copy); !classified || !copy)
            return classified;
        ++run.counts.images;
        if (run.converting() && is_convertible_raw(item.path))
            ++run.raws_to_convert;
        run.card_files.push_back({item.path, static_cast<std::uint64_t>(item.st.st_size), {}});
        note_card_sidecar(run, item.path);
        return Status();
    });
    if (listed && run.counts.images == 0)
        run.diagnostic("no images");
    return listed;
}

Status backup_pass(Run& run)
{
    const RunRequest& request = run.request;
    if (const int err = run.writer.make_dir(request.backup_folder); err != 0)
        return fail("Can't create backup folder.", request.backup_folder, err);
    if (Status locked = run.writer.lock(request.backup_folder); !locked)
        return locked;
    if (run.writer.exists(request.primary_folder))
        if (Status locked = run.writer.lock(request.primary_folder); !locked)
            return locked;
    run.output("Copying files from card\n");
    run.status("Copying files from card");
    run.step();

    const std::time_t start = std::time(nullptr);
    PublishBatch batch = backup_batch(run);
    Status copied = run.card.list([&](const CardItem& item) { return backup_visit(run, item, &batch); });
    if (copied)
        copied = batch.flush();
    else if (!copied.failure().stopped())
        // A copy taken earlier that reads back wrong failed first.
        if (Status earlier = batch.check_unpublished(); !earlier)
            copied = std::move(earlier);
    if (copied)
        copied = rename_range_folders(run);
    if (!copied)
        return copied;
    index_backup_sources(run);
    const int seconds = static_cast<int>(std::time(nullptr) - start);
    run.output(format("%d files copied from card took %d min. %d sec.\n", run.counts.images,
                      seconds / 60, seconds % 60));
    return {};
}

// "    Raws not checked by decoding: 3 (not a camera raw: 1, ...)", one reason without its count.
std::string unchecked_raws_line(const std::map<std::string, std::string>& unchecked)
{
    std::map<std::string, int> by_reason;
    for (const auto& [path, why] : unchecked)
        ++by_reason[why];
    std::string reasons;
    for (const auto& [why, n] : by_reason)
        reasons += (reasons.empty() ? "" : ", ") + why +
                   (by_reason.size() > 1 ? ": " + std::to_string(n) : std::string());
    return format("    Raws not checked by decoding: %zu (%s)\n", unchecked.size(), reasons.c_str());
}

// The report; good when its counts add up to the number of images on the card.
Status report(Run& run)
{
    RunCounts& counts = run.counts;
    const bool verify_only = run.request.verify_only;
    counts.raws_converted = verify_only ? 0 : run.raw_count;
    counts.raws_verified = run.raw_count + counts.raws_decoded;
    counts.unverified = counts.copied_without_conversion - (verify_only ? run.raw_count : 0) -
                        counts.jpegs_verified - counts.raws_decoded;
    run.reported = true;
    run.output("\nCopying:\n");
    run.output(format("    Raws converted to DNGs: %d\n", counts.raws_converted));
    run.output(format("    Files copied without conversion: %d\n", counts.copied_without_conversion));
    if (counts.already_ingested > 0)
        run.output(format("    Files already ingested: %d\n", counts.already_ingested));
    run.output("\nVerification:\n");
    run.output(format("    Raws verified: %d\n", counts.raws_verified));
    run.output(format("    JPEGs verified: %d\n", counts.jpegs_verified));
    run.output(format("    Files copied without error but unverified: %d\n", counts.unverified));
    if (!run.raws_unchecked.empty())
        run.output(unchecked_raws_line(run.raws_unchecked));
    const int placed = counts.images - counts.already_ingested;
    if (counts.raws_converted + counts.copied_without_conversion != placed ||
        counts.jpegs_verified + counts.raws_verified + counts.unverified != placed)
        return fail("Image count discrepency.");
    return {};
}

}  // namespace

Status prepare_run(Run& run)
{
    // The converter is on but names no program: fail as a converter that can't be started
    // would, only before anything is copied rather than after.
    if (run.converting() && run.request.converter->empty())
        return fail("Can't execute:  (error code = 2)");
    if (Status checked = check_folders(run.request); !checked)
        return checked;
    if (Status checked = check_trees_off_card(run); !checked)
        return checked;
    if (Status counted = count_images(run); !counted)
        return counted;
    load_library_index(run);
    if (Status decided = decide_card_clock(run); !decided)
        return decided;
    // The automatic numbers of a run stay four digits.
    if (static_cast<long long>(run.running_number) + run.counts.images > kMaxAutomaticNumber)
        run.running_number = 1;
    return {};
}

Status drive_run(Run& run, std::vector<SpaceNeed>& needs)
{
    needs = space_needs(run);
    const bool writes = run.writer.writes();
    // Before anything is written: a tree that fills up half-way helps no one.
    if (writes)
        if (Status room = check_free_space(needs); !room)
            return room;
    run.range(run.counts.images + 1);
    run.output("\n");
    run.output("Creating folders\n");
    if (Status copied = backup_pass(run); !copied)
        return copied;
    if (Status placed = copy_to_primary(run); !placed)
        return placed;
    std::vector<char>().swap(run.copy_buffer);
    if (!writes)
        return check_free_space(needs);
    // Success may only be reported once every copy and folder entry is on stable storage.
    if (Status synced = run.writer.sync_folders(); !synced)
        return synced;
    if (Status reported = report(run); !reported)
        return reported;
    return write_histories(run);
}

}  // namespace oakvane
