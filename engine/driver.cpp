#include "driver.h"

#include "arrangement.h"
#include "backup_copy.h"
#include "card_file.h"
#include "file_records.h"
#include "fs_util.h"
#include "primary_copy.h"
#include "run_lock.h"
#include "staged_file.h"
#include "run_state.h"
#include "text_format.h"
#include "walk.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace oakvane {

namespace {

int backup_pass()
{
    RunState& run = run_state();
    if (const int err = make_dir(run.backup_folder); err != 0)
        return record_errno_error("Can't create backup folder.", run.backup_folder, err);
    if (!lock_tree(run.backup_folder, run.backup_lock) ||
        (path_exists(run.primary_folder) && !lock_tree(run.primary_folder, run.primary_lock)))
        return 0;
    run.backup_root = run.backup_folder;
    host().output_text("Copying files from card\n");
    host().progress_status("Copying files from card");
    host().progress_step();
    run.copy_buffer.resize(kCopyBufferSize);

    const std::time_t start = std::time(nullptr);
    PublishBatch batch = backup_batch();
    const int walked = posix::walk_tree(run.card_folder.c_str(), [&](const posix::WalkEntry& e) {
        return backup_visit(e, &batch);
    });
    if (walked == -1) {
        // A failed copy has said why; a card that became unreadable since the count has not.
        if (run.last_error.empty())
            record_errno_error("ftw failed", run.card_folder, errno);
        return 0;
    }
    if (walked != 0 || !batch.flush() || !store_range_rename())
        return 0;
    index_backup_sources();
    const int seconds = static_cast<int>(std::time(nullptr) - start);
    host().output_text(format("%d files copied from card took %d min. %d sec.\n",
                              run.image_count, seconds / 60, seconds % 60));
    return 1;
}

// The report; 1 when its counts add up to the number of images on the card.
int report()
{
    const RunState& run = run_state();
    const int converted = run.verify_only ? 0 : run.raw_count;
    const int unverified = run.unconverted_count - (run.verify_only ? run.raw_count : 0) -
                           run.jpeg_verified_count;
    host().output_text("\nCopying:\n");
    host().output_text(format("    Raws converted to DNGs: %d\n", converted));
    host().output_text(format("    Files copied without conversion: %d\n", run.unconverted_count));
    host().output_text("\nVerification:\n");
    host().output_text(format("    Raws verified: %d\n", run.raw_count));
    host().output_text(format("    JPEGs verified: %d\n", run.jpeg_verified_count));
    host().output_text(format("    Files copied without error but unverified: %d\n", unverified));
    if (converted + run.unconverted_count != run.image_count ||
        run.jpeg_verified_count + run.raw_count + unverified != run.image_count)
        return record_error("Image count discrepency.");
    host().output_text("\nSUCCESSFUL INGESTION - no errors detected\n");
    return 1;
}

}  // namespace

int count_images()
{
    RunState& run = run_state();
    run.image_count = 0;
    const int result = posix::walk_tree(run.card_folder.c_str(), [&](const posix::WalkEntry& e) {
        const int kind = classify_card_entry(e);
        if (kind > 0) {
            ++run.image_count;
            run.card_files.push_back({e.path, static_cast<std::uint64_t>(e.st.st_size)});
            note_card_sidecar(e.path);
        }
        return kind < 0 ? 1 : 0;
    });
    if (result == 1)
        return 0;
    if (result == -1)
        return record_errno_error("ftw failed", run.card_folder, errno);
    if (run.image_count == 0)
        trace("no images");
    return 1;
}

int ingest_card(std::string& msg, std::size_t msg_size)
{
    RunState& run = run_state();
    store_range_reset();
    host().output_text("\n");
    run.arg_vec.clear();
    host().output_text("Creating folders\n");
    if (!backup_pass())
        return 0;
    if (!copy_to_primary(run.converter, run.primary_folder, msg, msg_size))
        return 0;
    engine_cleanup();
    // Success may only be reported once every copy and folder entry is on stable storage.
    if (!sync_changed_folders())
        return 0;
    return report();
}

}  // namespace oakvane
