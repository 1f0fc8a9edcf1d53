#pragma once
// The files of one primary folder are copied under staging names one after another on the
// engine's thread while worker threads read the copies back and decode the JPEGs and raws
// among them. Each file is then accepted in folder order: its progress step, its count, its
// read-back's and its decode's results, and only then does it
// join the publish batch. So the first failure in folder order ends the folder as if the
// files had been handled one at a time, and nothing after it is ever published.

#include "jpeg_verify.h"
#include "publish_batch.h"
#include "run.h"
#include "verify_pool.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace oakvane {

class PlacementQueue {
public:
    // Takes a decode's result on the engine's thread. final_path is the name the copy is to get.
    using Acceptor = std::function<Status(const Verification& check, const std::string& final_path)>;
    // Copies one file under a staging name into copy, its size into size; a failure leaves
    // nothing of the copy.
    using Stager = std::function<Status(PendingCopy& copy, std::uint64_t& size)>;

    // ticks: the folder's progress goes by progress_tick, not progress_step.
    PlacementQueue(Run& run, PublishBatch::Publisher publish, PublishBatch::Checker check,
                   Acceptor accept, bool ticks);

    // The next file of the folder, copied by stage; how: how its copy is decoded. Fails
    // with this file's failure or an earlier one's.
    Status place(Decode how, const Stager& stage);
    // The next file of the folder needs no copy (a raw the converter made a DNG of).
    Status pass_over();
    // Accepts every file left and publishes them all.
    Status finish();

private:
    struct Entry {
        bool copied = false;
        Decode how = Decode::none;
        bool handed = false;  // its checks went to the workers (or were known at once)
        PendingCopy copy;
        std::uint64_t size = 0;
        std::vector<HeldCall> held;
        std::optional<CopyCheck> check;  // known at once: the copy could not be opened
    };

    Status make_room(bool checked);
    Status accept_checks(Entry& entry);
    Status accept_ready();
    Status accept_front();
    Status accept_all();
    Status staging_failed(Entry& entry, Status own);
    Status earlier_or(Status own);
    void hand_over(Entry& entry);
    void progress();
    bool front_ready();

    Run& m_run;
    PublishBatch m_batch;
    Acceptor m_accept;
    bool m_ticks;
    std::deque<Entry> m_queue;
    std::size_t m_in_flight = 0;  // copies handed to the pool, results not taken
    // Last, so that its workers are stopped and joined before the staged copies go.
    std::optional<VerifyPool> m_pool;
};

}  // namespace oakvane
