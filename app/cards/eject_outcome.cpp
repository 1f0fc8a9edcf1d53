#include "eject_outcome.h"

#include <thread>

namespace oakvane {

Attempt retry_while_busy(const EjectRetry& retry, const std::function<Attempt()>& attempt)
{
    for (int made = 1;; ++made) {
        Attempt result = attempt();
        if (result != Attempt::busy || made >= retry.attempts)
            return result;
        std::this_thread::sleep_for(retry.pause);
    }
}

int eject_result(EjectOutcome outcome)
{
    return outcome == EjectOutcome::refused || outcome == EjectOutcome::failed ? 0 : 1;
}

std::string eject_reason(const EjectEnd& end, const std::string& mount_point)
{
    const std::string media = "Media in " + mount_point;
    // A step that went wrong after the card was already safe is told after the good news.
    const std::string aside = end.detail.empty() ? "" : " (" + end.detail + ")";
    switch (end.outcome) {
    case EjectOutcome::refused:
    case EjectOutcome::failed:
        return end.detail;
    case EjectOutcome::busy:
        return media + " is in use and was left mounted." + aside;
    case EjectOutcome::in_use:
        return media + " was unmounted, but its disk is still in use elsewhere." + aside;
    case EjectOutcome::unmounted:
        return media + " can be safely removed." + aside;
    case EjectOutcome::ejected:
        return media + " has been ejected safely." + aside;
    }
    return end.detail;
}

}  // namespace oakvane
