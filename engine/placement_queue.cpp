#include "placement_queue.h"


#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <utility>

namespace oakvane {

namespace {

// Enough staged files to keep every worker busy while the engine thread copies ahead;
// each staged file holds its descriptors and its unflushed data until it is accepted.
constexpr std::size_t kMaxQueued = 64;
constexpr unsigned kDecodesPerWorker = 2;

}  // namespace

PlacementQueue::PlacementQueue(Run& run, PublishBatch::Publisher publish,
                               PublishBatch::Checker check, Acceptor accept, bool ticks)
    : m_run(run), m_batch(std::move(publish), std::move(check)), m_accept(std::move(accept)),
      m_ticks(ticks)
{
}

Status PlacementQueue::place(Decode how, const Stager& stage)
{
    if (Status room = make_room(how != Decode::none || m_run.request.read_back); !room)
        return room;
    Entry entry;
    entry.copied = true;
    entry.how = how;
    // What the file says while staged ahead of earlier files' results is kept for its
    // acceptance; stop requests still reach the host.
    m_run.hold(&entry.held);
    Status staged;
    try {
        staged = stage(entry.copy, entry.size);
    } catch (...) {
        m_run.hold(nullptr);
        throw;
    }
    m_run.hold(nullptr);
    if (!staged)
        return staging_failed(entry, std::move(staged));
    const bool read_back = !entry.copy.expected_hash.empty() && entry.copy.image.on_disk();
    if (how != Decode::none || read_back)
        hand_over(entry);
    m_queue.push_back(std::move(entry));
    return accept_ready();
}

Status PlacementQueue::pass_over()
{
    if (Status room = make_room(false); !room)
        return room;
    m_queue.push_back(Entry{});
    return accept_ready();
}

Status PlacementQueue::finish()
{
    if (Status accepted = accept_all(); !accepted)
        return accepted;
    return m_batch.flush();
}

// One at a time, this file would never have been reached had an earlier one failed: the
// earlier failure is the one to report, and this file's is forgotten. A stop needs no
// earlier results: a stopped run reports nothing.
Status PlacementQueue::staging_failed(Entry& entry, Status own)
{
    if (m_run.stop_requested())
        return own;
    if (Status earlier = accept_all(); !earlier)
        return earlier;
    progress();
    m_run.replay(entry.held);
    return earlier_or(std::move(own));
}

// A file accepted earlier but not flushed yet is read back only when its group is: should
// it differ, it failed before own, as it would have one file at a time.
Status PlacementQueue::earlier_or(Status own)
{
    if (Status earlier = m_batch.check_unpublished(); !earlier)
        return earlier;
    return own;
}

void PlacementQueue::hand_over(Entry& entry)
{
    entry.handed = true;
    const bool read_back = !entry.copy.expected_hash.empty() && entry.copy.image.on_disk();
    const std::string& path = entry.copy.image.temp_path();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        const int err = errno;
        CopyCheck check;
        if (read_back)
            check.back = ReadBack{err, false, false, {}};
        else if (entry.how == Decode::jpeg)
            check.decoded = unopenable_jpeg(path);
        else
            check.decoded = RawCheck{RawCheck::Outcome::damaged,
                                     "can't open the copy: " + std::string(std::strerror(err)), {}};
        entry.check = std::move(check);
        return;
    }
    if (!m_pool) {
        const unsigned wanted = verify_worker_count();
        m_pool.emplace(wanted);
        if (m_pool->workers() < wanted)
            m_run.diagnostic("verify: fewer decoding threads than asked for");
    }
    m_pool->submit(std::move(fd), entry.how, read_back);
    ++m_in_flight;
}

Status PlacementQueue::make_room(bool checked)
{
    auto full = [&] {
        return m_queue.size() >= kMaxQueued ||
               (checked && m_pool && m_in_flight >= kDecodesPerWorker * std::max(1u, m_pool->workers()));
    };
    while (full())
        if (Status accepted = accept_front(); !accepted)
            return accepted;
    return {};
}

bool PlacementQueue::front_ready()
{
    const Entry& front = m_queue.front();
    return !front.handed || front.check || m_pool->next_ready();
}

Status PlacementQueue::accept_ready()
{
    while (!m_queue.empty() && front_ready())
        if (Status accepted = accept_front(); !accepted)
            return accepted;
    return {};
}

Status PlacementQueue::accept_all()
{
    while (!m_queue.empty())
        if (Status accepted = accept_front(); !accepted)
            return accepted;
    return {};
}

void PlacementQueue::progress()
{
    if (m_ticks)
        m_run.tick();
    else
        m_run.step();
}

// The one place where a staged file becomes part of the folder, in folder order.
Status PlacementQueue::accept_front()
{
    Entry entry = std::move(m_queue.front());
    m_queue.pop_front();
    progress();
    m_run.replay(entry.held);
    if (!entry.copied)
        return {};
    ++m_run.counts.copied_without_conversion;
    if (entry.handed) {
        if (!entry.check) {
            entry.check = m_pool->take([this] { return m_run.stop_requested(); });
            --m_in_flight;
            if (!entry.check || stopped_check(*entry.check))
                return stopped();
        }
        if (Status accepted = accept_checks(entry); !accepted)
            return earlier_or(std::move(accepted));
    }
    return m_batch.add(std::move(entry.copy), entry.size);
}

// A copy that reads back wrong fails before its decode is looked at: the decode read the
// same bytes. Read back here, the batch need not read it again.
Status PlacementQueue::accept_checks(Entry& entry)
{
    if (entry.check->back) {
        if (Status read = judge_read_back(m_run, entry.copy, *entry.check->back); !read)
            return read;
        entry.copy.expected_hash.clear();
    }
    if (entry.check->decoded)
        return m_accept(*entry.check->decoded, entry.copy.final_path);
    return {};
}

}  // namespace oakvane
