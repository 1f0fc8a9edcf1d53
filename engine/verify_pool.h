#pragma once
// JPEG decodes on worker threads, beside the engine thread's copying. The engine thread
// hands each staged JPEG over as an open descriptor and takes the results back in the
// order it handed them over. Workers touch neither the host nor the run state: each job's
// descriptor and result belong to the pool, and only take() gives a result away.

#include "fs_util.h"
#include "jpeg_verify.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace oakvane {

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
    // Queues a decode of the JPEG open as fd.
    void submit(UniqueFd fd);
    // The oldest result not taken yet is in.
    bool next_ready();
    // Waits for the oldest result not taken yet. give_up is asked every few milliseconds
    // while waiting; when it returns true the wait ends with nullopt.
    std::optional<JpegCheck> take(const std::function<bool()>& give_up);
    // Workers abandon their decodes at the next row and queued jobs are dropped; returns
    // once every worker is idle.
    void stop();

private:
    struct Job {
        UniqueFd fd;
        bool done = false;
        JpegCheck result;
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
