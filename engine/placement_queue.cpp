#include "placement_queue.h"

#include "run_state.h"

#include <algorithm>
#include <fcntl.h>
#include <utility>

namespace oakvane {

namespace {

// Enough staged files to keep every worker busy while the engine thread copies ahead;
// each staged file holds its descriptors and its unflushed data until it is accepted.
constexpr std::size_t kMaxQueued = 64;
constexpr unsigned kJpegsPerWorker = 2;

// While a file is staged ahead of earlier files' results, what it says to the host is
// kept for its acceptance; stop requests still go to the real host.
class HoldHostCalls : public HostHooks {
public:
    explicit HoldHostCalls(std::vector<HeldCall>& into) : m_into(into), m_real(run_state().host)
    {
        run_state().host = this;
    }
    ~HoldHostCalls() override { run_state().host = m_real; }
    HoldHostCalls(const HoldHostCalls&) = delete;
    HoldHostCalls& operator=(const HoldHostCalls&) = delete;

    void output_text(std::string_view text) override { hold(HeldCall::Kind::text, text); }
    void progress_status(std::string_view text) override { hold(HeldCall::Kind::status, text); }
    void progress_range(int n) override { hold(HeldCall::Kind::range, {}, n); }
    void progress_step() override { hold(HeldCall::Kind::step); }
    void progress_tick() override { hold(HeldCall::Kind::tick); }
    int stop_requested() override { return m_real->stop_requested(); }

private:
    void hold(HeldCall::Kind kind, std::string_view text = {}, int n = 0)
    {
        m_into.push_back(HeldCall{kind, std::string(text), n});
    }
    std::vector<HeldCall>& m_into;
    HostHooks* m_real;
};

void replay(const std::vector<HeldCall>& calls)
{
    for (const HeldCall& call : calls) {
        switch (call.kind) {
        case HeldCall::Kind::text: host().output_text(call.text); break;
        case HeldCall::Kind::status: host().progress_status(call.text); break;
        case HeldCall::Kind::range: host().progress_range(call.n); break;
        case HeldCall::Kind::step: host().progress_step(); break;
        case HeldCall::Kind::tick: host().progress_tick(); break;
        }
    }
}

}  // namespace

PlacementQueue::PlacementQueue(PublishBatch::Publisher publish, JpegAcceptor accept_jpeg, bool ticks)
    : m_batch(std::move(publish)), m_accept_jpeg(std::move(accept_jpeg)), m_ticks(ticks)
{
}

int PlacementQueue::place(bool jpeg, const Stager& stage)
{
    if (!make_room(jpeg))
        return 0;
    Entry entry;
    entry.copied = true;
    entry.jpeg = jpeg;
    const std::string error_before = run_state().last_error;
    int staged = 0;
    {
        HoldHostCalls hold(entry.held);
        staged = stage(entry.copy, entry.size);
    }
    if (!staged)
        return staging_failed(entry, error_before);
    if (jpeg)
        hand_over(entry);
    m_queue.push_back(std::move(entry));
    return accept_ready();
}

int PlacementQueue::pass_over()
{
    if (!make_room(false))
        return 0;
    m_queue.push_back(Entry{});
    return accept_ready();
}

int PlacementQueue::finish()
{
    return accept_all() && m_batch.flush();
}

// One at a time, this file would never have been reached had an earlier one failed: the
// earlier failure is the one to report, and this file's is forgotten. A stop needs no
// earlier results: a stopped run reports nothing.
int PlacementQueue::staging_failed(Entry& entry, const std::string& error_before)
{
    if (host().stop_requested())
        return 0;
    std::string own_error = std::exchange(run_state().last_error, error_before);
    if (!accept_all())
        return 0;
    run_state().last_error = std::move(own_error);
    progress();
    replay(entry.held);
    return 0;
}

void PlacementQueue::hand_over(Entry& entry)
{
    UniqueFd fd(::open(entry.copy.image.temp_path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        entry.check = unopenable_jpeg(entry.copy.image.temp_path());
        return;
    }
    if (!m_pool)
        m_pool.emplace(verify_worker_count());
    m_pool->submit(std::move(fd));
    ++m_in_flight;
}

int PlacementQueue::make_room(bool jpeg)
{
    auto full = [&] {
        return m_queue.size() >= kMaxQueued ||
               (jpeg && m_pool && m_in_flight >= kJpegsPerWorker * std::max(1u, m_pool->workers()));
    };
    while (full())
        if (!accept_front())
            return 0;
    return 1;
}

bool PlacementQueue::front_ready()
{
    const Entry& front = m_queue.front();
    return !front.jpeg || front.check || m_pool->next_ready();
}

int PlacementQueue::accept_ready()
{
    while (!m_queue.empty() && front_ready())
        if (!accept_front())
            return 0;
    return 1;
}

int PlacementQueue::accept_all()
{
    while (!m_queue.empty())
        if (!accept_front())
            return 0;
    return 1;
}

void PlacementQueue::progress()
{
    if (m_ticks)
        host().progress_tick();
    else
        host().progress_step();
}

// The one place where a staged file becomes part of the folder, in folder order.
int PlacementQueue::accept_front()
{
    Entry entry = std::move(m_queue.front());
    m_queue.pop_front();
    progress();
    replay(entry.held);
    if (!entry.copied)
        return 1;
    ++run_state().unconverted_count;
    if (entry.jpeg) {
        if (!entry.check) {
            entry.check = m_pool->take([] { return host().stop_requested() != 0; });
            --m_in_flight;
            if (!entry.check || entry.check->outcome == JpegCheck::Outcome::stopped)
                return record_error("Stopped");
        }
        if (!m_accept_jpeg(*entry.check, entry.copy.final_path))
            return 0;
    }
    return m_batch.add(std::move(entry.copy), entry.size);
}

}  // namespace oakvane
