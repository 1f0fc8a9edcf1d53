#include "backup_copy.h"

#include "arrangement.h"
#include "card_file.h"
#include "file_copy.h"
#include "fs_util.h"
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

constexpr int kMaxSequence = 999;

int copy_card_file(const std::string& card_path, const std::string& dest, UniqueFd& to,
                   const struct stat& seen)
{
    UniqueFd from;
    if (!open_card_file(card_path, seen, from))
        return 0;
    const std::int64_t expected_size = seen.st_size;
    const timespec& mtime = seen.st_mtim;
    const CopyOutcome outcome = copy_data(from.get(), to.get());
    if (outcome.status != CopyStatus::done)
        return record_copy_failure(outcome, "read error", card_path, "write error", dest);
    const int from_closed = from.close();
    if (to.close() != 0 || from_closed != 0)
        return record_errno_error("close", dest, errno);
    if (set_file_time(dest, mtime) != 0)
        return record_errno_error("utime more_copying", dest, errno);
    struct stat st;
    if (::stat(dest.c_str(), &st) != 0)
        return record_errno_error("stat", dest, errno);
    if (st.st_size != expected_size) {
        trace(format("%" PRId64 " %" PRId64, static_cast<std::int64_t>(st.st_size), expected_size));
        return record_error("safe_copy_backup: size error");
    }
    return 1;
}

}  // namespace

int backup_visit(const posix::WalkEntry& entry)
{
    const int kind = classify_card_entry(entry);
    if (kind <= 0)
        return kind;
    return safe_copy_backup(entry.path, std::string(entry.name()), entry.st) ? 0 : -1;
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

int create_unique(std::string& path, int mode)
{
    for (int n = 0; n <= kMaxSequence; ++n) {
        const std::string candidate = n == 0 ? path : sequence_path(path, n);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            path = candidate;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = 0;
    return -1;
}

int safe_copy_backup(const std::string& card_path, const std::string& name,
                     const struct stat& seen)
{
    const timespec& mtime = seen.st_mtim;
    RunState& run = run_state();
    std::string number_text;
    const std::string file_name = make_image_file_name(name, mtime.tv_sec, number_text);
    const std::optional<std::string> folder = make_image_folder_path(mtime.tv_sec, number_text);
    if (!folder)
        return record_error("can't make image folder path");
    std::string dest = *folder;
    if (dest.empty() || dest.back() != '/')
        dest += '/';
    dest += file_name;

    UniqueFd to(create_unique(dest, 0666));
    if (!to)
        return record_errno_error("creat error", dest, errno);
    bool sidecar_created = false;
    if (!create_sidecar(dest, true, &sidecar_created)) {
        to.close();
        remove_unfinished(dest);
        return 0;
    }
    run.arg_vec.push_back(dest);
    if (copy_card_file(card_path, dest, to, seen)) {
        host().progress_step();
        return 1;
    }

    // Nothing half-copied stays under an image's name, nor a sidecar for an image that
    // isn't there.
    to.close();
    run.arg_vec.pop_back();
    remove_unfinished(dest);
    if (sidecar_created)
        remove_unfinished(sidecar_path_for(dest));
    return 0;
}

}  // namespace oakvane
