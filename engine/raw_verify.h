#pragma once
// Verifying a camera raw by unpacking its whole raw image (no demosaicing) with the raw
// decoder. Like the JPEG check, the decoding half touches neither the host nor the run
// state and may run on any thread.

#include <atomic>
#include <cstddef>
#include <string>

namespace oakvane {

struct RawCheck {
    enum class Outcome {
        decoded,    // the whole raw image unpacked from bytes that were all there
        damaged,    // the file is broken: the run must not call it good
        unchecked,  // a raw the decoder cannot read, through no fault of the file
        fatal,      // the check itself could not run (no memory)
        stopped,
    };
    Outcome outcome = Outcome::fatal;
    std::string reason;       // damaged, unchecked, fatal: in a few words, for people
    std::string diagnostics;  // what the decoder said, for the diagnostics
};

// Why a raw was not decoded, as the output list and the reports give it.
inline constexpr char kUnknownCamera[] = "the raw decoder does not know this camera";
inline constexpr char kNotCameraRaw[] = "not a camera raw";
inline constexpr char kUnknownCompression[] = "the raw decoder lacks this file's compression";
inline constexpr char kRawDecodingOff[] = "raw decoding is switched off";

// Whether the first bytes of a file (head, n of them) are those of a container some
// camera's raw files come in: TIFF and its relatives, CIFF, ISO media, and the few
// formats of their own.
bool has_raw_container(const unsigned char* head, std::size_t n);

// Unpacks the raw whose whole content is the size bytes at data. tif: the file is named
// .TIF, which cameras and scanners alike write, so a TIFF the decoder does not take is no
// damage. stop (may be null) is read as the file is read: once it is true the check ends as
// stopped.
RawCheck decode_raw(const unsigned char* data, std::size_t size, bool tif,
                    const std::atomic<bool>* stop = nullptr);

// The same for the raw open for reading as fd (read whole first); fd stays open.
RawCheck decode_raw(int fd, bool tif, const std::atomic<bool>* stop = nullptr);

}  // namespace oakvane
