#include "verify_pool.h"


#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sched.h>
#include <system_error>

namespace oakvane {

namespace {

constexpr auto kStopPollInterval = std::chrono::milliseconds(20);

JpegCheck out_of_memory()
{
    JpegCheck check;
    check.outcome = JpegCheck::Outcome::fatal;
    check.diagnostics = "out of memory\n";
    return check;
}

Verification decode_guarded(int fd, Decode how, const std::atomic<bool>& stop)
{
    if (how == Decode::raw || how == Decode::tif_raw)
        return decode_raw(fd, how == Decode::tif_raw, &stop);
    try {
        return decode_jpeg(fd, &stop);
    } catch (const std::bad_alloc&) {
        return out_of_memory();
    }
}

Verification decode_bytes(const std::vector<unsigned char>& bytes, Decode how, const std::atomic<bool>& stop)
{
    if (how == Decode::raw || how == Decode::tif_raw)
        return decode_raw(bytes.data(), bytes.size(), how == Decode::tif_raw, &stop);
    try {
        return decode_jpeg(bytes.data(), bytes.size(), &stop);
    } catch (const std::bad_alloc&) {
        return out_of_memory();
    }
}

// Reads the copy back and decodes the very bytes read, so that what is decoded is what the
// disk holds: a JPEG as it streams past (its decoder reads in order), a raw once read whole
// (its decoder seeks). A raw too large to hold is decoded from the file after its read-back.
// chunk is the caller's read buffer, kept from one copy to the next.
CopyCheck check_copy(int fd, Decode how, bool read_back, const std::atomic<bool>& stop,
                     std::vector<char>& chunk)
{
    CopyCheck check;
    if (!read_back) {
        if (how != Decode::none)
            check.decoded = decode_guarded(fd, how, stop);
        return check;
    }
    const auto give_up = [&stop] { return stop.load(std::memory_order_relaxed); };
    if (how == Decode::none) {
        CopyReader reader(fd, true, give_up);
        check.back = reader.finish(chunk);
        return check;
    }
    if (how == Decode::jpeg) {
        CopyReader reader(fd, true, give_up);
        const JpegReader read = [&reader](unsigned char* into, std::size_t room) {
            return reader.read(reinterpret_cast<char*>(into), room);
        };
        try {
            check.decoded = decode_jpeg(read, &stop);
        } catch (const std::bad_alloc&) {
            check.decoded = out_of_memory();
        }
        check.back = reader.finish(chunk);
        return check;
    }
    std::vector<unsigned char> bytes;
    bool kept = true;
    try {
        check.back = read_back_copy(fd, bytes, give_up);
    } catch (const std::bad_alloc&) {
        std::vector<unsigned char>().swap(bytes);
        kept = false;
        check.back = CopyReader(fd, true, give_up).finish(chunk);
    }
    if (check.back->err != 0 || check.back->stopped)
        return check;
    check.decoded = kept ? decode_bytes(bytes, how, stop) : decode_guarded(fd, how, stop);
    return check;
}

}  // namespace

bool stopped_check(const CopyCheck& check)
{
    if (check.back && check.back->stopped)
        return true;
    if (!check.decoded)
        return false;
    if (const auto* jpeg = std::get_if<JpegCheck>(&*check.decoded))
        return jpeg->outcome == JpegCheck::Outcome::stopped;
    return std::get<RawCheck>(*check.decoded).outcome == RawCheck::Outcome::stopped;
}

unsigned verify_worker_count()
{
    if (const char* forced = std::getenv("OAKVANE_VERIFY_WORKERS"); forced && *forced) {
        char* end = nullptr;
        const long n = std::strtol(forced, &end, 10);
        if (*end == '\0' && n >= 1)
            return static_cast<unsigned>(std::min<long>(n, kMaxVerifyWorkers));
    }
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    if (::sched_getaffinity(0, sizeof cpus, &cpus) != 0)
        return 1;
    return std::clamp<unsigned>(static_cast<unsigned>(CPU_COUNT(&cpus)), 1, kMaxVerifyWorkers);
}

VerifyPool::VerifyPool(unsigned workers)
{
    // A thread the system will not give is one decoder less; with none at all, take()
    // decodes on the caller's thread.
    try {
        for (unsigned i = 0; i < workers; ++i)
            m_threads.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
        // workers() tells the owner how many it got.
    }
}

VerifyPool::~VerifyPool()
{
    stop();
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_queued.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void VerifyPool::submit(UniqueFd fd, Decode how, bool read_back)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(Job{std::move(fd), how, read_back, false, CopyCheck{}});
    }
    m_queued.notify_one();
}

bool VerifyPool::next_ready()
{
    std::lock_guard lock(m_mutex);
    return !m_jobs.empty() && m_jobs.front().done;
}

std::optional<CopyCheck> VerifyPool::take(const std::function<bool()>& give_up)
{
    std::unique_lock lock(m_mutex);
    if (m_jobs.empty())
        return std::nullopt;
    Job& job = m_jobs.front();
    if (m_threads.empty() && !job.done) {
        std::vector<char> chunk;
        job.result = check_copy(job.fd.get(), job.how, job.read_back, m_stop, chunk);
        job.done = true;
        ++m_next;
    }
    while (!job.done) {
        lock.unlock();
        const bool abandon = give_up();
        lock.lock();
        if (abandon)
            return std::nullopt;
        m_finished.wait_for(lock, kStopPollInterval, [&] { return job.done; });
    }
    CopyCheck result = std::move(job.result);
    m_jobs.pop_front();
    --m_next;
    return result;
}

void VerifyPool::stop()
{
    m_stop = true;
    std::unique_lock lock(m_mutex);
    m_jobs.erase(m_jobs.begin() + static_cast<std::ptrdiff_t>(m_next), m_jobs.end());
    m_finished.wait(lock, [&] { return m_busy == 0; });
    m_jobs.clear();
    m_next = 0;
}

void VerifyPool::work()
{
    std::vector<char> chunk;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_queued.wait(lock, [&] { return m_closing || m_next < m_jobs.size(); });
        if (m_closing)
            return;
        // A job stays where it is until it is taken, and only done jobs are taken, so the
        // reference holds while the lock is let go.
        Job& job = m_jobs[m_next++];
        ++m_busy;
        lock.unlock();
        CopyCheck result = check_copy(job.fd.get(), job.how, job.read_back, m_stop, chunk);
        lock.lock();
        job.result = std::move(result);
        job.done = true;
        job.fd.reset();
        --m_busy;
        m_finished.notify_all();
    }
}

}  // namespace oakvane
