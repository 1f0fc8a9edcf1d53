#pragma once
// A card's clock from its photos. Where a card's file system can't say how its file times
// relate to the camera's clock (exFAT entries that may or may not carry the camera's zone, a
// FUSE reader that applies a zone of its own), the capture dates a few photos carry settle it:
// a photo's file is written as it is taken, so its file time and its capture date differ by
// the zone the time was read in, a whole number of quarter hours.

#include "engine.h"
#include "failure.h"

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace oakvane {

class Run;

// One photo's two clocks.
struct ClockSample {
    std::string path;
    std::time_t file_time = 0;  // as the kernel reports it
    CaptureDate date;
};

// The shift (seconds by which the samples' file times, read as UTC, run ahead of their
// cameras' clock) that every sample agrees on, a whole number of quarter hours; nullopt,
// with the reason in why, when they disagree or there are none.
std::optional<long long> agreed_clock_shift(const std::vector<ClockSample>& samples, std::string& why);

// Whether a card on a file system of this type (statfs f_type) has its clock calibrated
// from its photos.
bool clock_from_photos(unsigned long fs_type);

// Reads the capture dates of a handful of the card's photos through the request's reader
// and, where they agree, sets run.card_clock to the clock they show; otherwise it stays as
// it is. Each step is in the run's diagnostics. Fails only when the run is stopped: a photo
// that can't be read here is read again, and its failure reported, when it is copied.
Status calibrate_card_clock(Run& run);

}  // namespace oakvane
