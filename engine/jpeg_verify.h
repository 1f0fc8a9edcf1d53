#pragma once
// Verifying a JPEG by decoding it completely. The decoding half touches neither the host
// nor the run state, so it may run on any thread; what it found is shown afterwards, on the
// engine's thread.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

namespace oakvane {

class Run;

struct JpegCheck {
    enum class Outcome { passed, warned, fatal, unreadable, stopped };
    Outcome outcome = Outcome::unreadable;
    long warnings = 0;
    // What the decoder said (or why the file could not be read), for the diagnostics.
    std::string diagnostics;
};

// Decodes the JPEG open for reading as fd, every row at full size with the file's own
// defaults; fd stays open. stop (may be null) is read between rows: once it
// is true the decode ends with Outcome::stopped.
JpegCheck decode_jpeg(int fd, const std::atomic<bool>* stop = nullptr);
// Puts up to room bytes of the JPEG at into; 0 at its end (or when it can't be read).
using JpegReader = std::function<std::size_t(unsigned char* into, std::size_t room)>;
// The same for a JPEG read through reader, from its start.
JpegCheck decode_jpeg(const JpegReader& reader, const std::atomic<bool>* stop = nullptr);
// The same for a JPEG whose whole content is the size bytes at data.
JpegCheck decode_jpeg(const unsigned char* data, std::size_t size, const std::atomic<bool>* stop = nullptr);

// The check of a file that could not be opened at path.
JpegCheck unopenable_jpeg(const std::string& path);

// Shows what a check found, on the engine's thread: the decoder's messages as diagnostics,
// and "JPEG Verification Warnings: <n>" in the output list when it warned. True when the
// file passed.
bool report_jpeg_check(Run& run, const JpegCheck& check);

}  // namespace oakvane
