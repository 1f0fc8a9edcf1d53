#pragma once
// The checks of staged copies on worker threads, beside the engine thread's copying: each
// copy is read back from the disk and hashed, and a JPEG's or a raw's bytes so read are
// decoded (one read of the copy serves both). The engine thread hands each staged copy over
// as an open descriptor and takes the results back in the order it handed them over. Workers touch neither the host nor the run state: each job's
// descriptor and result belong to the pool, and only take() gives a result away.

#include "fs_util.h"
#include "jpeg_verify.h"
#include "raw_verify.h"
#include "read_back.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>
#include <vector>

namespace oakvane {

// How a staged copy is checked by decoding it.
enum class Decode { none, jpeg, raw, tif_raw };
using Verification = std::variant<JpegCheck, RawCheck>;

// What a verifying thread found of one staged copy.
struct CopyCheck {
    std::optional<ReadBack> back;         // read back from the disk, when asked
    std::optional<Verification> decoded;  // decoded, when asked
};

// Whether a check ended because the run is stopping.
bool stopped_check(const CopyCheck& check);

// Decoders for one run: OAKVANE_VERIFY_WORKERS when it holds a positive number, otherwise
// one per CPU the process may run on, at most kMaxVerifyWorkers.
inline constexpr unsigned kMaxVerifyWorkers = 8;
unsigned verify_worker_count();

class VerifyPool {
public:
    explicit VerifyPool(unsigned workers);
    // Stops and joins the workers; no decode outlives the pool.
    ~VerifyPool();
    VerifyPool(const VerifyPool&) = delete;
    VerifyPool& operator=(const VerifyPool&) = delete;

    unsigned workers() const { return static_cast<unsigned>(m_threads.size()); }
    // Queues the checks of the copy open as fd: read back when read_back, decoded as how.
    void submit(UniqueFd fd, Decode how, bool read_back);
    // The oldest result not taken yet is in.
    bool next_ready();
    // Waits for the oldest result not taken yet. give_up is asked every few milliseconds
    // while waiting; when it returns true the wait ends with nullopt.
    std::optional<CopyCheck> take(const std::function<bool()>& give_up);
    // Workers abandon their decodes at the next row and queued jobs are dropped; returns
    // once every worker is idle.
    void stop();

private:
    struct Job {
        UniqueFd fd;
        Decode how = Decode::jpeg;
        bool read_back = false;
        bool done = false;
        CopyCheck result;
    };
    void work();

    std::mutex m_mutex;
    std::condition_variable m_queued;    // a job was queued, or the pool closes
    std::condition_variable m_finished;  // a job is done, or a worker went idle
    std::deque<Job> m_jobs;              // every job not taken yet, oldest first
    std::size_t m_next = 0;              // index in m_jobs of the first job not started
    unsigned m_busy = 0;
    bool m_closing = false;
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

}  // namespace oakvane
