// oakvane-ingest: runs an ingestion from the current preference set, as the desktop
// application's Start does, without windows.
//
//   oakvane-ingest [-v|--verbose] [--set NAME] [--card FOLDER | --camera [PORT]] [--plan] [--report FILE]
//   oakvane-ingest [-v|--verbose] [--set NAME] --watch
//   oakvane-ingest [-v|--verbose] --check FOLDER [--report FILE]
//   oakvane-ingest --list-sets | --show-set [NAME] | --new-set NAME [--from SET] |
//                  [--set NAME] --set-value KEY=VALUE... | --select-set NAME
//
// --set uses the named preference set for this run only; --select-set remembers it, as
// choosing it in the window does. --card names the card folder, --camera a camera connected
// over USB (or the one at PORT), otherwise the CardFolder
// preference decides, and "[user choice]" takes the one mounted card. --watch keeps running
// as an ingest station that ingests every card inserted meanwhile. --check re-reads a library
// against its ASC MHL histories and writes nothing into it. --plan prints what a run
// would do and writes nothing; --report writes a JSON report of the run. The set commands
// change the preference sets and end. Standard output carries the lines of the output list;
// on a terminal, standard error shows the progress bar, or with --verbose the engine's
// diagnostics instead.
// Exit status: 0 success (or a station stopped while idle), 130 stopped by SIGINT or SIGTERM
// during a run, 1 otherwise.

#include "camera_volumes.h"
#include "check_command.h"
#include "ingest_host.h"
#include "ingest_options.h"
#include "ingest_station.h"
#include "report_check.h"
#include "set_commands.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace {

using oakvane::Options;
using oakvane::SetCommand;

int run_set_command(const Options& options, oakvane::Preferences& prefs, oakvane::IngestHost& host)
{
    switch (options.command) {
    case SetCommand::List: return oakvane::list_sets(prefs);
    case SetCommand::Show: return oakvane::show_set(prefs, host, options.command_set);
    case SetCommand::New: return oakvane::new_set(prefs, host, *options.command_set, options.from);
    case SetCommand::Values: return oakvane::set_values(prefs, host, options.set, options.assignments);
    case SetCommand::Select: return oakvane::select_set(prefs, host, *options.command_set);
    case SetCommand::None: break;
    }
    return 1;
}

int exit_status(oakvane::StartResult result)
{
    switch (result) {
    case oakvane::StartResult::Succeeded: return 0;
    case oakvane::StartResult::Stopped: return 130;
    default: return 1;
    }
}

// A single run, or its plan. A plan writes nothing: no preference is saved after it.
int run_once(const Options& options, oakvane::Preferences& prefs, oakvane::IngestHost& host,
             oakvane::CardDetector& detector, oakvane::StartCommand& start)
{
    detector.ScanForCards();
    start.set_card_override(options.card);
    if (options.plan) {
        const auto request = start.PlanRequest();
        return request ? host.plan(*request) : 1;
    }
    // Found only after the run, a report that can't be written would fail a run that copied
    // everything, and a script that retries on failure would ingest the card again.
    if (options.report) {
        if (const std::string why = oakvane::report_destination_problem(*options.report); !why.empty()) {
            std::fprintf(stderr, "Can't write the report to %s: %s\nNothing was copied.\n",
                         options.report->c_str(), why.c_str());
            return 1;
        }
    }
    host.begin_record();
    int status = exit_status(start.OnStart());
    if (options.report) {
        std::string why;
        if (!oakvane::write_report(*options.report, host.last_run(), why)) {
            std::fprintf(stderr, "%s\n", why.c_str());
            status = status == 0 ? 1 : status;
        }
    }
    // A set that cannot be saved loses the next starting number: not a success.
    if (!prefs.SavePreferences() && status == 0)
        status = 1;
    return status;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("oakvane-ingest");
    QCoreApplication::setApplicationVersion(OAKVANE_VERSION);
    const std::variant<Options, int> parsed = oakvane::parse_options(application);
    if (const int* status = std::get_if<int>(&parsed))
        return *status;
    const Options& options = std::get<Options>(parsed);
    if (options.check)
        return oakvane::check_command(*options.check, options.report);
    oakvane::IngestHost host;
    oakvane::Preferences prefs(host);
    host.set_preferences(&prefs);
    if (!prefs.InitPreferences())
        return 1;
    if (options.command != SetCommand::None)
        return run_set_command(options, prefs, host);
    if (!oakvane::open_set(prefs, host, options.set, false))
        return 1;
    // Cards start runs only through the station's own queue, never by the detector's rule.
    auto cameras = std::make_shared<oakvane::CameraCache>(oakvane::camera::detect_cameras);
    oakvane::CardDetector detector(host, oakvane::make_system_volume_source(cameras), [] { return false; });
    host.set_detector(&detector);
    oakvane::StartCommand start(prefs, host);
    if (!options.watch)
        return run_once(options, prefs, host, detector, start);
    host.set_station(true);
    const int status = oakvane::IngestStation(prefs, host, detector, start, cameras).run();
    if (!prefs.SavePreferences() && status == 0)
        return 1;
    return status;
}
