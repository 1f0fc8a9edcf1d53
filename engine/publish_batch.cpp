#include "publish_batch.h"

#include "file_kinds.h"
#include "flush_path.h"

#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace oakvane {

namespace {

// Open descriptors stay below the usual limit of 1024 even with a sidecar per image. The
// byte limit keeps the syncs few on cards of large raws: each stalls the copy for a moment,
// while the write-back started for every copy carries most of the data meanwhile.
constexpr std::size_t kMaxPendingCopies = 128;
constexpr std::uint64_t kMaxPendingBytes = 1024ull << 20;

Status flush_one(StagedFile& file, const std::string& final_path, bool synced)
{
    if (!file.on_disk())
        return {};
    if (const int err = synced ? file.collect_error() : file.flush(); err != 0)
        return fail("Write-back error: \"" + final_path + "\"", "", err);
    return {};
}

}  // namespace

Status PublishBatch::add(PendingCopy&& copy, std::uint64_t size)
{
    copy.image.start_writeback();
    copy.sidecar.start_writeback();
    m_pending.push_back(std::move(copy));
    m_bytes += size;
    if (m_pending.size() < kMaxPendingCopies && m_bytes < kMaxPendingBytes)
        return {};
    return flush();
}

Status PublishBatch::settle(std::vector<PendingCopy>& group)
{
    group.swap(m_pending);
    m_bytes = 0;
    if (Status synced = sync_group(group); !synced)
        return synced;
    return check_group(group);
}

Status PublishBatch::flush()
{
    std::vector<PendingCopy> group;
    if (Status settled = settle(group); !settled)
        return settled;
    for (PendingCopy& copy : group)
        if (Status published = m_publish(copy); !published)
            return published;
    return {};
}

Status PublishBatch::check_unpublished()
{
    std::vector<PendingCopy> group;
    return settle(group);
}

Status PublishBatch::sync_group(std::vector<PendingCopy>& group)
{
    // Where the file system honours it, one sync per file system writes the whole group and
    // its metadata to stable storage; each file's own write-back error is then collected on
    // its descriptor. Elsewhere, or where the sync itself fails, the files are flushed one by
    // one instead.
    std::map<dev_t, bool> synced;
    for (PendingCopy& copy : group) {
        struct stat st;
        const bool known = copy.image.on_disk() && ::fstat(copy.image.fd(), &st) == 0;
        auto [it, first] = synced.try_emplace(known ? st.st_dev : 0, false);
        if (first && known)
            it->second = flush_path_of(copy.image.fd()) == FlushPath::group &&
                         ::syncfs(copy.image.fd()) == 0;
        if (Status flushed = flush_one(copy.image, copy.final_path, it->second); !flushed)
            return flushed;
        if (Status flushed = flush_one(copy.sidecar, sidecar_path_for(copy.final_path), it->second);
            !flushed)
            return flushed;
    }
    return {};
}

// Every copy of the group is checked before any is published, so a bad one is never seen
// under its name, nor anything after it.
Status PublishBatch::check_group(std::vector<PendingCopy>& group)
{
    if (m_check)
        for (PendingCopy& copy : group)
            if (Status checked = m_check(copy); !checked)
                return checked;
    return {};
}

Status publish_now(PendingCopy&& copy, const PublishBatch::Publisher& publish,
                   const PublishBatch::Checker& check)
{
    PublishBatch batch(publish, check);
    if (Status added = batch.add(std::move(copy), 0); !added)
        return added;
    return batch.flush();
}

}  // namespace oakvane
