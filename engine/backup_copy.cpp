#include "backup_copy.h"

#include "arrangement.h"
#include "card_file.h"
#include "file_copy.h"
#include "file_records.h"
#include "naming.h"
#include "run_state.h"
#include "sidecar.h"
#include "text_format.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <fcntl.h>

namespace oakvane {

namespace {

// Copies the card file into the staging file and checks the copy before it is published:
// the card file's time, and the size the walk saw.
int copy_card_file(const std::string& card_path, const std::string& dest, StagedFile& to,
                   const struct stat& seen)
{
    UniqueFd from;
    if (!open_card_file(card_path, seen, from))
        return 0;
    const CopyOutcome outcome = copy_data(from.get(), to.fd());
    if (outcome.status != CopyStatus::done)
        return record_copy_failure(outcome, "read error", card_path, "write error", dest);
    if (from.close() != 0)
        return record_errno_error("close", card_path, errno);
    const timespec times[2] = {seen.st_mtim, seen.st_mtim};
    if (::futimens(to.fd(), times) != 0)
        return record_errno_error("utime more_copying", dest, errno);
    struct stat st;
    if (::fstat(to.fd(), &st) != 0)
        return record_errno_error("stat", dest, errno);
    if (st.st_size != seen.st_size) {
        trace(format("%" PRId64 " %" PRId64, static_cast<std::int64_t>(st.st_size),
                     static_cast<std::int64_t>(seen.st_size)));
        return record_error("safe_copy_backup: size error");
    }
    return 1;
}

// Publishes a flushed backup copy under the first free one of its name and its
// sequence-numbered names, then its sidecar next to it, and lists it.
int publish_backup(PendingCopy& copy)
{
    int err = EEXIST;
    std::string dest;
    for (int n = 0; n <= kMaxSequence && err == EEXIST; ++n) {
        dest = n == 0 ? copy.final_path : sequence_path(copy.final_path, n);
        err = copy.image.publish(dest);
    }
    if (err != 0)
        return record_errno_error("creat error", copy.final_path, err == EEXIST ? 0 : err);
    run_state().arg_vec.push_back(dest);
    note_backup_published(copy.final_path);
    if (copy.card_sidecar)
        run_state().own_sidecar_copies.insert(dest);
    return publish_sidecar(copy.sidecar, dest, true);
}

}  // namespace

int backup_visit(const posix::WalkEntry& entry, PublishBatch* batch)
{
    const int kind = classify_card_entry(entry);
    if (kind == 0)
        report_skipped(entry);
    if (kind <= 0)
        return kind;
    return safe_copy_backup(entry.path, std::string(entry.name()), entry.st, batch) ? 0 : -1;
}

std::string sequence_path(const std::string& path, int n)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    const bool three_letter_ext =
        dot != std::string::npos && dot >= name_start && path.size() - dot == 4;
    const std::string number = format("_%03d", n);
    if (!three_letter_ext)
        return path + number;
    return path.substr(0, dot) + number + path.substr(dot);
}

PublishBatch backup_batch() { return PublishBatch(publish_backup); }

int safe_copy_backup(const std::string& card_path, const std::string& name,
                     const struct stat& seen, PublishBatch* batch)
{
    std::string number_text;
    const std::string file_name = make_image_file_name(name, seen.st_mtim.tv_sec, number_text);
    const std::optional<std::string> folder =
        make_image_folder_path(seen.st_mtim.tv_sec, number_text);
    if (!folder)
        return record_error("can't make image folder path");
    std::string dest = *folder;
    if (dest.empty() || dest.back() != '/')
        dest += '/';
    dest += file_name;

    PendingCopy copy;
    copy.final_path = dest;
    copy.card_sidecar = has_card_sidecar(card_path);
    if (const int err = copy.image.create(folder_of(dest)); err != 0)
        return record_errno_error("creat error", dest, err);
    if ((!copy.card_sidecar && !stage_sidecar(dest, copy.sidecar)) ||
        !copy_card_file(card_path, dest, copy.image, seen))
        return 0;
    host().progress_step();
    note_backup_source(dest, {card_path, static_cast<std::uint64_t>(seen.st_size)});
    if (batch)
        return batch->add(std::move(copy), static_cast<std::uint64_t>(seen.st_size));
    return publish_now(std::move(copy), publish_backup);
}

}  // namespace oakvane
