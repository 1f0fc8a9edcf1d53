#include "card_time.h"

#include "capture_clock.h"
#include "card_source.h"
#include "run.h"
#include "text_format.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace oakvane {

namespace {

constexpr const char* kClockVariable = "OAKVANE_CARD_CLOCK";

// A forced decision, for a card whose driver this engine does not know how to read, and for
// tests of a FAT card on machines without the driver. The wall-clock forced is the time as
// the kernel reports it, read as UTC, as a default vfat or exfat mount on a UTC kernel gives.
Status force_card_clock(Run& run, std::string_view forced)
{
    if (forced == "wall-clock")
        run.card_clock = posix::CardClock{true, 0};
    else if (forced == "local")
        run.card_clock = posix::CardClock{};
    else
        return fail(std::string(kClockVariable) + " must be \"local\" or \"wall-clock\"");
    run.diagnostic(std::string("card times forced to ") + std::string(forced));
    return {};
}

// What the decision needs besides the type can't always be read (a mount table hidden from
// the process, a kernel without the call); the driver's defaults are then the best guess,
// and the guess is said in the diagnostics.
posix::CardClock decide_for_mount(Run& run, unsigned long type)
{
    std::string options;
    std::string why;
    if (!posix::mount_fs_options(run.card.folder(), options, why))
        run.diagnostic("card times: " + why + "; taking the driver's default mount options");
    int minutes_west = 0;
    if (!posix::kernel_minutes_west(minutes_west))
        run.diagnostic("card times: the kernel's zone can't be read; taking UTC");
    return posix::decide_card_clock(type, options, minutes_west);
}

}  // namespace

Status decide_card_clock(Run& run)
{
    if (const char* forced = std::getenv(kClockVariable); forced && *forced)
        return force_card_clock(run, forced);
    unsigned long type = 0;
    if (const int err = run.card.file_system_type(type); err != 0)
        return fail("Can't read the card's file system", run.card.folder(), err);
    run.card_clock = posix::clock_depends_on_mount(type) ? decide_for_mount(run, type)
                                                         : posix::CardClock{};
    if (run.request.capture_dates && clock_from_photos(type))
        if (Status calibrated = calibrate_card_clock(run); !calibrated)
            return calibrated;
    if (run.card_clock.wall_clock)
        run.diagnostic(format("card times read as the camera's wall-clock, a shift of %lld s undone",
                              run.card_clock.kernel_shift));
    else
        run.diagnostic("card times read in local time");
    return {};
}

std::tm card_time_parts(const posix::CardClock& clock, std::time_t t)
{
    std::tm parts{};
    if (clock.wall_clock) {
        const std::time_t wall = t - static_cast<std::time_t>(clock.kernel_shift);
        gmtime_r(&wall, &parts);
    } else {
        localtime_r(&t, &parts);
    }
    return parts;
}

}  // namespace oakvane
