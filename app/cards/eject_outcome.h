#pragma once
// What an eject attempt came to, shared by the ways of ejecting a card.

#include <chrono>
#include <functional>
#include <string>

namespace oakvane {

enum class EjectOutcome {
    refused,    // not a card the program may eject
    failed,     // a card, but the system would not unmount it
    busy,       // still in use after every retry: left mounted
    in_use,     // unmounted here, but its disk is still mounted elsewhere: not ejected
    unmounted,  // unmounted; the media could not be ejected, but removing it is safe
    ejected,    // unmounted and ejected (or the card image detached)
};

// A card that is in use (an open file, a thumbnailer at work) often frees itself within a few
// seconds, so unmounting is retried for about ten seconds before giving up.
struct EjectRetry {
    int attempts = 20;
    std::chrono::milliseconds pause{500};
};

// How an attempt ended, with the system's own words for the step that went wrong, if any.
struct EjectEnd {
    EjectOutcome outcome = EjectOutcome::failed;
    std::string detail;
};

enum class Attempt { done, busy, failed };

// Calls attempt until it is done or fails, or until the retries are spent while it stays busy.
Attempt retry_while_busy(const EjectRetry& retry, const std::function<Attempt()>& attempt);

// 1 when outcome leaves the card done with (the cards are to be rescanned), 0 when it refused
// or failed.
int eject_result(EjectOutcome outcome);

// What became of the card mounted at mount_point, or why it was not ejected.
std::string eject_reason(const EjectEnd& end, const std::string& mount_point);

}  // namespace oakvane
