#include "eject_outcome.h"

#include <cstdio>
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

int eject_result(EjectOutcome outcome, const std::string& mount_point)
{
    switch (outcome) {
    case EjectOutcome::refused:
    case EjectOutcome::failed:
        return 0;
    case EjectOutcome::busy:
        std::fprintf(stderr, "Media in %s is in use and was left mounted.\n", mount_point.c_str());
        return 1;
    case EjectOutcome::in_use:
        std::fprintf(stderr, "Media in %s was unmounted, but its disk is still in use elsewhere.\n",
                     mount_point.c_str());
        return 1;
    case EjectOutcome::unmounted:
        std::fprintf(stderr, "Media in %s can be safely removed.\n", mount_point.c_str());
        return 1;
    case EjectOutcome::ejected:
        std::fprintf(stderr, "Media in %s has been ejected safely.\n", mount_point.c_str());
        return 1;
    }
    return 0;
}

}  // namespace oakvane
