// copycard: runs the ingestion engine from the command line.
//
//   copycard copy card_folder backup_folder primary_folder DNG_Converter_path arrangement
//            text1 text2 text3 text4 fmt preview embed verifyOnly sidecar_path arrSwitches
//            startingNumber userFolder
//   copycard test ...
//   copycard --help | --version
//
// Standard output carries the engine's output lines and, after a successful run, the last
// primary folder and the next starting number. Exit status: 0 success, 130 stopped by
// SIGINT or SIGTERM, 1 failure. On a terminal the engine's diagnostics are shown only
// with OAKVANE_VERBOSE=1.

#include "capture_dates.h"
#include "camera_source.h"
#include "cli_host.h"
#include "engine.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>

namespace {

// Kept in step with the manual page (docs/man/copycard.1); a test compares their options.
constexpr const char* kHelp = R"(Usage: copycard copy card_folder backup_folder primary_folder DNG_Converter_path
                     arrangement text1 text2 text3 text4 fmt preview embed verifyOnly
                     sidecar_path arrSwitches startingNumber userFolder
       copycard test [argument...]
       copycard --help | --version

Ingests a camera card: copies every file of card_folder into the backup tree, checking
each copy, then places the images into the primary tree under new names and in arranged
folders, verifying every JPEG and optionally converting raw files to DNG. Every argument
of "copy" must be given, in this order (an empty text is "").

  card_folder         the folder whose whole tree is ingested, usually <card>/DCIM;
                      or a camera connected over USB: "camera:" for the one camera
                      connected, "camera:PORT" for the camera at a libgphoto2 port
                      (camera:usb:001,005; camera:disk:/FOLDER reads FOLDER as a camera)
  backup_folder       root of the backup tree, an absolute path (its parent must exist)
  primary_folder      root of the primary tree, an absolute path (not backup_folder)
  DNG_Converter_path  the converter program, or "none" to copy raw files unchanged
  arrangement         1 date folders only, 2 year and date, 3 year, month and date
  text1..text4        the texts of the name format's S positions
  fmt                 four name-format letters: S text, D YYYYMMDD, T YYYYMMDD_HHMMSS,
                      d YYMMDD, t YYMMDD_HHMMSS, F camera file name, N camera file number,
                      A automatic number, U unique ID, E empty
  preview             passed to the converter: -p0, -p1 or -p2
  embed               passed to the converter: -e, or empty
  verifyOnly          "verifyOnly" runs the converter only to verify raw files
  sidecar_path        an XMP template copied next to every image, or empty for none
  arrSwitches         three characters: D date folders, U user folder, R number-range
                      folders, - leaves a level out
  startingNumber      the first automatic number
  userFolder          the name of the user folder

"copycard test" prints its arguments and a hundred numbered lines (a self-test).

Options:
  --help     show this help and exit
  --version  show the version and exit

Standard output carries the run's lines and, after a successful run, "Last primary
folder:" and "Next starting number:". Diagnostics go to standard error. Ctrl-C or
SIGTERM stops the run at the next block.

Exit status:
  0    success
  1    failure (the output says why)
  130  stopped by SIGINT or SIGTERM

Environment:
  OAKVANE_VERBOSE=1         on a terminal, show the engine's diagnostics instead of
                            the progress bar
  OAKVANE_TRACE_LOG=1       also append the error trace to
                            $XDG_STATE_HOME/oakvane/trace.log
                            (default ~/.local/state/oakvane/trace.log)
  OAKVANE_VERIFY_WORKERS=N  number of threads decoding JPEGs and raws to verify them
                            (1 forces one; default: one per processor, at most 8)
  OAKVANE_READ_BACK=0       do not read every copy back from the disk to compare it
                            with the card's hash; copies are then checked by their
                            size, and JPEGs by decoding them (default 1: read back)
  OAKVANE_RAW_DECODE=0      do not decode the raws copied as they are (camera DNGs,
                            and every raw when no converter is named); they are then
                            checked by their size (default 1: a damaged raw fails the
                            run)
  OAKVANE_CARD_CLOCK=local|wall-clock
                            read the card's times so instead of deciding from
                            its file system and photos (a debugging aid)
)";

// A check's switch in the environment: unset, "" or "1" is on, "0" off; anything else is
// refused rather than guessed at, since a typo must not turn a check off or on unseen.
std::optional<bool> check_from_environment(const char* name)
{
    const char* value = std::getenv(name);
    const std::string_view text = value ? value : "";
    if (text.empty() || text == "1")
        return true;
    if (text == "0")
        return false;
    return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fputs("usage: copycard copy|test ... (copycard --help explains)\n", stderr);
        return 1;
    }
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h") {
        std::fputs(kHelp, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (command == "--version") {
        std::printf("copycard %s\n", OAKVANE_VERSION);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (command != "copy" && command != "test") {
        std::fprintf(stderr, "copycard: unknown command \"%s\" (copycard --help explains)\n",
                     argv[1]);
        return 1;
    }
    oakvane::CopycardOptions options;
    for (auto [name, check] : {std::pair{"OAKVANE_READ_BACK", &options.read_back},
                               std::pair{"OAKVANE_RAW_DECODE", &options.decode_raws}}) {
        const std::optional<bool> on = check_from_environment(name);
        if (!on) {
            std::fprintf(stderr, "copycard: %s must be 0 or 1 (copycard --help explains)\n", name);
            return 1;
        }
        *check = *on;
    }
    options.capture_dates = oakvane::read_capture_date;
    options.card_source = oakvane::camera::card_sources();
    oakvane::CliHost host;
    oakvane::CopycardResult result;
    int ok = 0;
    ok = oakvane::copycard_main(argc, argv, host, result, options);
    host.finish_progress();
    if (ok == 1 && command == "copy") {
        std::printf("Last primary folder: %s\n", result.folder ? result.folder->c_str() : "[none]");
        std::printf("Next starting number: %s\n", result.next_number->c_str());
    }
    if (ok == 1)
        return 0;
    return host.stop_requested() ? 130 : 1;
}
