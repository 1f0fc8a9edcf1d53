#include "card_time.h"

#include "card_clock.h"
#include "run_state.h"
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
int force_card_clock(std::string_view forced)
{
    RunState& run = run_state();
    if (forced == "wall-clock")
        run.card_clock = posix::CardClock{true, 0};
    else if (forced == "local")
        run.card_clock = posix::CardClock{};
    else
        return record_error(std::string(kClockVariable) + " must be \"local\" or \"wall-clock\"");
    trace(std::string("card times forced to ") + std::string(forced));
    return 1;
}

// What the decision needs besides the type can't always be read (a mount table hidden from
// the process, a kernel without the call); the driver's defaults are then the best guess,
// and the guess is left on standard error.
posix::CardClock decide_for_mount(const std::string& folder, unsigned long type)
{
    std::string options;
    std::string why;
    if (!posix::mount_fs_options(folder, options, why))
        trace("card times: " + why + "; taking the driver's default mount options");
    int minutes_west = 0;
    if (!posix::kernel_minutes_west(minutes_west))
        trace("card times: the kernel's zone can't be read; taking UTC");
    return posix::decide_card_clock(type, options, minutes_west);
}

}  // namespace

int decide_card_clock()
{
    RunState& run = run_state();
    if (const char* forced = std::getenv(kClockVariable); forced && *forced)
        return force_card_clock(forced);
    unsigned long type = 0;
    if (const int err = posix::file_system_type(run.card_folder, type); err != 0)
        return record_errno_error("Can't read the card's file system", run.card_folder, err);
    run.card_clock = posix::clock_depends_on_mount(type) ? decide_for_mount(run.card_folder, type)
                                                         : posix::CardClock{};
    if (run.card_clock.wall_clock)
        trace(format("card times read as the camera's wall-clock, the kernel's shift of %lld s undone",
                     run.card_clock.kernel_shift));
    return 1;
}

std::tm card_time_parts(std::time_t t)
{
    const posix::CardClock& clock = run_state().card_clock;
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
