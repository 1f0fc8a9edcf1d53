// oakvane-ingest: runs an ingestion from the current preference set, as the desktop
// application's Start does, without windows.
//
//   oakvane-ingest [--verbose] [--set NAME] [--card FOLDER] [--plan] [--report FILE]
//   oakvane-ingest [--verbose] [--set NAME] --watch
//
// --set switches to the named preference set first (and remembers it, as choosing it in the
// window does); --card names the card folder, otherwise the CardFolder preference decides, and
// "[user choice]" takes the one mounted card. --watch keeps running as an ingest station that
// ingests every card inserted meanwhile. --plan prints what a run would do and writes nothing;
// --report writes a JSON report of the run. Standard output carries the lines of the output
// list; on a terminal, standard error shows the progress bar, or with --verbose the engine's
// diagnostics instead.
// Exit status: 0 success (or a station stopped while idle), 130 stopped by SIGINT or SIGTERM
// during a run, 1 otherwise.

#include "ingest_host.h"
#include "ingest_station.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <variant>

namespace {

struct Options {
    std::optional<std::string> set;
    std::optional<std::string> card;
    std::optional<std::string> report;
    bool watch = false;
    bool plan = false;
};

constexpr const char* kDescription =
    "Ingests a camera card with the current preference set, as the Start button of the Oakvane\n"
    "window does: every file of the card into the backup tree, checked, then the images into\n"
    "the primary tree under new names. Standard output carries the lines of the output list.";

constexpr const char* kEpilog = R"(
Exit status:
  0    success; an ingest station stopped while idle; with --plan, the run can go ahead
  130  stopped by SIGINT or SIGTERM during a run
  1    otherwise (a failed or refused run, a bad option, a preference set that can't be read)

Environment:
  OAKVANE_VERBOSE         1: as --verbose
  OAKVANE_TRACE_LOG       1: keeps the diagnostic log $XDG_STATE_HOME/oakvane/trace.log
                          (default ~/.local/state/oakvane/trace.log)
  OAKVANE_VERIFY_WORKERS  the number of threads that decode JPEGs (default: one per CPU, at most 8)
  OAKVANE_CARD_CLOCK      local or wall-clock: read the card's times so instead of deciding
                          from its file system (a debugging aid)
  XDG_CONFIG_HOME         the preference sets are kept in $XDG_CONFIG_HOME/Oakvane
                          (default ~/.config/Oakvane)
)";

// The options, or an exit status once help, the version or an error has been printed.
std::variant<Options, int> parse_options(const QCoreApplication& application)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption verbose("verbose", "Shows the engine's diagnostics instead of the progress bar.");
    const QCommandLineOption set("set", "Switches to the preference set NAME first, and remembers it.", "NAME");
    const QCommandLineOption card("card", "Ingests FOLDER instead of the card the preferences choose.", "FOLDER");
    const QCommandLineOption watch("watch", "Stays running as an ingest station: ingests every card inserted, one run at a time, until stopped.");
    const QCommandLineOption plan("plan", "Prints where every file would go, the folders to create, the files skipped and the room needed, and writes nothing.");
    const QCommandLineOption report("report", "Writes a JSON report of the run to FILE, also after a failed or stopped run.", "FILE");
    parser.addOptions({verbose, set, card, watch, plan, report});
    if (!parser.parse(application.arguments())) {
        std::fprintf(stderr, "oakvane-ingest: %s\nTry 'oakvane-ingest --help' for more information.\n",
                     qPrintable(parser.errorText()));
        return 1;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        std::fputs(kEpilog, stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("oakvane-ingest %s\n", OAKVANE_VERSION);
        return 0;
    }
    const auto fail = [](const char* why) {
        std::fprintf(stderr, "oakvane-ingest: %s\nTry 'oakvane-ingest --help' for more information.\n", why);
        return 1;
    };
    if (!parser.positionalArguments().isEmpty())
        return fail(qPrintable("Unexpected argument: " + parser.positionalArguments().first()));
    Options options;
    if (parser.isSet(verbose))
        oakvane::CliHost::set_verbose(true);
    if (parser.isSet(set))
        options.set = parser.value(set).toStdString();
    if (parser.isSet(card))
        options.card = parser.value(card).toStdString();
    if (parser.isSet(report))
        options.report = parser.value(report).toStdString();
    options.watch = parser.isSet(watch);
    options.plan = parser.isSet(plan);
    if (options.watch && (options.card || options.plan || options.report))
        return fail("--watch takes neither --card, --plan nor --report (a station's reports go to the ReportFolder preference).");
    if (options.plan && options.report)
        return fail("--plan writes nothing, not even a report.");
    return options;
}

// The set the window would open: the remembered one, unless another was named. Only a set of
// the list can be named, as in the window: a name is never a path to some other file. A named
// set is opened straight away, so that a remembered set that cannot be read (the very reason
// to name another) does not stand in the way. A plan (remember false) leaves the remembered
// set as it was.
bool open_set(oakvane::Preferences& prefs, oakvane::IngestHost& host,
              const std::optional<std::string>& named, bool remember)
{
    const oakvane::SetList list = prefs.FillPrefSetCombo(false);
    const std::string remembered = list.selected >= 0 ? list.entries[list.selected] : "Default";
    if (!named)
        return prefs.SwitchPrefSet(remembered);
    if (std::find(list.entries.begin(), list.entries.end(), *named) == list.entries.end()) {
        host.message_box("Can't read Preference Set:" + *named);
        return false;
    }
    if (!prefs.SwitchPrefSet(*named))
        return false;
    if (!remember)
        prefs.SetPrefSetCurrent(remembered);
    return true;
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
    const std::variant<Options, int> parsed = parse_options(application);
    if (const int* status = std::get_if<int>(&parsed))
        return *status;
    const Options& options = std::get<Options>(parsed);
    oakvane::IngestHost host;
    oakvane::Preferences prefs(host);
    host.set_preferences(&prefs);
    if (!prefs.InitPreferences() || !open_set(prefs, host, options.set, !options.plan))
        return 1;
    // Cards start runs only through the station's own queue, never by the detector's rule.
    oakvane::CardDetector detector(host, oakvane::make_system_volume_source(), [] { return false; });
    host.set_detector(&detector);
    oakvane::StartCommand start(prefs, host);
    if (!options.watch)
        return run_once(options, prefs, host, detector, start);
    host.set_station(true);
    const int status = oakvane::IngestStation(prefs, host, detector, start).run();
    if (!prefs.SavePreferences() && status == 0)
        return 1;
    return status;
}
