#include "backup_copy.h"

#include "arrangement.h"
#include "card_file.h"
#include "xxh128.h"
#include "file_records.h"
#include "ingested.h"
#include "naming.h"
#include "read_back.h"
#include "sidecar.h"
#include "text_format.h"

#include <cerrno>
#include <cinttypes>
#include <unistd.h>

namespace oakvane {

namespace {

// The card's bytes, hashed as they are read and written from the very bytes hashed into a
// staging file of the backup tree. Every chunk passes through the run's buffer: a copy
// moved inside the kernel would leave the card's bytes unhashed, or read twice.
class StagedSink : public ChunkSink {
public:
    StagedSink(StagedFile& file, const std::string& dest) : m_file(file), m_dest(dest) {}
    Status write(const char* data, std::size_t size) override
    {
        m_hash.update(data, size);
        while (size > 0) {
            const ssize_t n = ::write(m_file.fd(), data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return write_failed(n < 0 ? errno : ENOSPC);
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return {};
    }
    std::string hash() const { return m_hash.hex(); }

private:
    Status write_failed(int err) const { return fail("write error", m_dest, err); }

    StagedFile& m_file;
    const std::string& m_dest;
    Xxh128 m_hash;
};

// Copies the card file into the staging file and checks the copy before it is published:
// the card file's time, and the size the listing saw. hash: the card file's content hash.
Status copy_card_file(Run& run, const CardItem& item, const std::string& dest, StagedFile& to,
                      std::string& hash)
{
    StagedSink sink(to, dest);
    if (Status read = run.card.read(run, item, sink); !read)
        return read;
    hash = sink.hash();
    const timespec times[2] = {item.st.st_mtim, item.st.st_mtim};
    if (::futimens(to.fd(), times) != 0)
        return fail("utime more_copying", dest, errno);
    struct stat st;
    if (::fstat(to.fd(), &st) != 0)
        return fail("stat", dest, errno);
    if (st.st_size != item.st.st_size) {
        run.diagnostic(format("%" PRId64 " %" PRId64, static_cast<std::int64_t>(st.st_size),
                              static_cast<std::int64_t>(item.st.st_size)));
        return fail("safe_copy_backup: size error");
    }
    return {};
}

// Publishes a flushed backup copy under the first free one of its name and its
// sequence-numbered names, then its sidecar next to it, and lists it.
Status publish_backup(Run& run, PendingCopy& copy)
{
    int err = EEXIST;
    std::string dest;
    for (int n = 0; n <= kMaxSequence && err == EEXIST; ++n) {
        dest = n == 0 ? copy.final_path : sequence_path(copy.final_path, n);
        err = run.writer.publish(copy.image, dest);
    }
    if (err != 0)
        return fail("creat error", copy.final_path, err == EEXIST ? 0 : err);
    run.backups.push_back(dest);
    run.note_published(dest, copy.hash, copy.card_path);
    note_backup_published(run, copy.final_path);
    if (copy.card_sidecar)
        run.own_sidecar_copies.insert(dest);
    return publish_sidecar(run, copy.sidecar, dest, true);
}

}  // namespace

Status backup_visit(Run& run, const CardItem& item, PublishBatch* batch)
{
    bool copy = false;
    if (Status classified = classify_card_entry(item, copy); !classified)
        return classified;
    if (!copy) {
        report_skipped(run, item);
        return {};
    }
    return safe_copy_backup(run, item, batch);
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

PublishBatch backup_batch(Run& run)
{
    return PublishBatch([&run](PendingCopy& copy) { return publish_backup(run, copy); },
                        [&run](PendingCopy& copy) { return check_read_back(run, copy); });
}

Status safe_copy_backup(Run& run, const CardItem& item, PublishBatch* batch)
{
    bool taken = false;
    if (Status found = take_recorded_backup(run, item, taken); !found || taken)
        return found;
    const int number_before = run.running_number;
    std::string number_text;
    const std::string file_name =
        make_image_file_name(run, item.name(), item.st.st_mtim.tv_sec, number_text);
    std::string folder;
    if (Status made = make_image_folder_path(run, item.st.st_mtim.tv_sec, number_text, folder); !made)
        return std::move(made).reworded("can't make image folder path");
    const std::string dest = folder + (folder.ends_with('/') ? "" : "/") + file_name;
    if (Status found = take_backup_in_place(run, item, dest, number_before, taken); !found || taken)
        return found;

    PendingCopy copy;
    copy.final_path = dest;
    copy.card_sidecar = has_card_sidecar(run, item.path);
    if (const int err = run.writer.stage(folder_of(dest), copy.image); err != 0)
        return fail("creat error", dest, err);
    if (!copy.card_sidecar)
        if (Status staged = stage_sidecar(run, dest, copy.sidecar); !staged)
            return staged;
    std::string hash;
    if (run.writer.writes())
        if (Status copied = copy_card_file(run, item, dest, copy.image, hash); !copied)
            return copied;
    copy.hash = hash;
    copy.card_path = item.path;
    if (run.request.read_back)
        copy.expected_hash = hash;
    run.step();
    note_backup_source(run, dest, {item.path, static_cast<std::uint64_t>(item.st.st_size), hash});
    if (batch)
        return batch->add(std::move(copy), static_cast<std::uint64_t>(item.st.st_size));
    return publish_now(
        std::move(copy), [&run](PendingCopy& c) { return publish_backup(run, c); },
        [&run](PendingCopy& c) { return check_read_back(run, c); });
}

}  // namespace oakvane
