// oakvane-ingest: runs an ingestion from the current preference set, as the desktop
// application's Start does, without windows.
//
//   oakvane-ingest [--verbose] [--set NAME] [--card FOLDER] [--plan] [--report FILE]
//   oakvane-ingest [--verbose] [--set NAME] --watch
//   oakvane-ingest --list-sets | --show-set [NAME] | --new-set NAME [--from SET] |
//                  [--set NAME] --set-value KEY=VALUE... | --select-set NAME
//
// --set uses the named preference set for this run only; --select-set remembers it, as
// choosing it in the window does. --card names the card folder, otherwise the CardFolder preference decides, and
// "[user choice]" takes the one mounted card. --watch keeps running as an ingest station that
// ingests every card inserted meanwhile. --plan prints what a run would do and writes nothing;
// --report writes a JSON report of the run. Standard output carries the lines of the output
// list; on a terminal, standard error shows the progress bar, or with --verbose the engine's
// diagnostics instead.
// Exit status: 0 success (or a station stopped while idle), 130 stopped by SIGINT or SIGTERM
// during a run, 1 otherwise.

#include "ingest_host.h"
#include "ingest_station.h"
#include "report_check.h"
#include "set_commands.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace {

// A preference set command instead of a run.
enum class SetCommand { None, List, Show, New, Values, Select };

struct Options {
    SetCommand command = SetCommand::None;
    std::optional<std::string> command_set;  // the set --show-set, --new-set, --select-set name
    std::optional<std::string> from;
    std::vector<std::string> assignments;
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

QCommandLineOption option(const QStringList& names, const char* about, const char* value = nullptr)
{
    return value ? QCommandLineOption(names, about, value) : QCommandLineOption(names, about);
}

int fail(const std::string& why)
{
    std::fprintf(stderr, "oakvane-ingest: %s\nTry 'oakvane-ingest --help' for more information.\n",
                 why.c_str());
    return 1;
}

// At most one set command, and none beside a run's own options.
std::optional<std::string> command_conflict(const Options& options, int commands)
{
    if (commands > 1)
        return "Give one of --list-sets, --show-set, --new-set, --set-value and --select-set at a time.";
    if (options.from && options.command != SetCommand::New)
        return "--from goes with --new-set.";
    if (commands == 1 && (options.watch || options.plan || options.card || options.report))
        return "A preference set command takes neither --watch, --plan, --card nor --report.";
    if (options.set && options.command != SetCommand::None && options.command != SetCommand::Values)
        return "--set goes with a run or with --set-value; the other set commands name their set.";
    return std::nullopt;
}

// The options, or an exit status once help, the version or an error has been printed.
std::variant<Options, int> parse_options(const QCoreApplication& application)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = option({"version"}, "Displays version information.");
    const QCommandLineOption verbose = option({"v", "verbose"}, "Shows the engine's diagnostics instead of the progress bar.");
    const QCommandLineOption set = option({"set"}, "Uses the preference set NAME for this run (or --set-value) without remembering it.", "NAME");
    const QCommandLineOption card = option({"card"}, "Ingests FOLDER instead of the card the preferences choose.", "FOLDER");
    const QCommandLineOption watch = option({"watch"}, "Stays running as an ingest station: ingests every card inserted, one run at a time, until stopped.");
    const QCommandLineOption plan = option({"plan"}, "Prints where every file would go, the folders to create, the files skipped and the room needed, and writes nothing.");
    const QCommandLineOption report = option({"report"}, "Writes a JSON report of the run to FILE, also after a failed or stopped run.", "FILE");
    const QCommandLineOption list_sets = option({"list-sets"}, "Lists the preference sets; * marks the remembered one.");
    const QCommandLineOption show_set = option({"show-set"}, "Prints every key of the set NAME given after it (default: the remembered set) with its value, defaults marked.");
    const QCommandLineOption new_set = option({"new-set"}, "Makes the preference set NAME, a copy of the remembered set or of --from SET.", "NAME");
    const QCommandLineOption from = option({"from"}, "The set --new-set copies.", "SET");
    const QCommandLineOption set_value = option({"set-value"}, "Sets KEY to VALUE in the remembered set, or in the set --set names, and stores it at once. Repeatable.", "KEY=VALUE");
    const QCommandLineOption select_set = option({"select-set"}, "Makes NAME the remembered preference set, as choosing it in the window does.", "NAME");
    parser.addOptions({version, verbose, set, card, watch, plan, report, list_sets, show_set,
                       new_set, from, set_value, select_set});
    if (!parser.parse(application.arguments()))
        return fail(parser.errorText().toStdString());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        std::fputs(kEpilog, stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("oakvane-ingest %s\n", OAKVANE_VERSION);
        return 0;
    }
    Options options;
    QStringList positional = parser.positionalArguments();
    int commands = 0;
    const auto command = [&](const QCommandLineOption& given, SetCommand which) {
        if (!parser.isSet(given))
            return;
        ++commands;
        options.command = which;
    };
    command(list_sets, SetCommand::List);
    command(show_set, SetCommand::Show);
    command(new_set, SetCommand::New);
    command(set_value, SetCommand::Values);
    command(select_set, SetCommand::Select);
    if (options.command == SetCommand::Show && positional.size() == 1)
        options.command_set = positional.takeFirst().toStdString();
    if (!positional.isEmpty())
        return fail("Unexpected argument: " + positional.first().toStdString());
    if (parser.isSet(verbose))
        oakvane::CliHost::set_verbose(true);
    if (parser.isSet(new_set))
        options.command_set = parser.value(new_set).toStdString();
    if (parser.isSet(select_set))
        options.command_set = parser.value(select_set).toStdString();
    if (parser.isSet(from))
        options.from = parser.value(from).toStdString();
    for (const QString& assignment : parser.values(set_value))
        options.assignments.push_back(assignment.toStdString());
    if (parser.isSet(set))
        options.set = parser.value(set).toStdString();
    if (parser.isSet(card))
        options.card = parser.value(card).toStdString();
    if (parser.isSet(report))
        options.report = parser.value(report).toStdString();
    options.watch = parser.isSet(watch);
    options.plan = parser.isSet(plan);
    if (const auto conflict = command_conflict(options, commands))
        return fail(*conflict);
    if (options.watch && (options.card || options.plan || options.report))
        return fail("--watch takes neither --card, --plan nor --report (a station's reports go to the ReportFolder preference).");
    if (options.plan && options.report)
        return fail("--plan writes nothing, not even a report.");
    return options;
}

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
    const std::variant<Options, int> parsed = parse_options(application);
    if (const int* status = std::get_if<int>(&parsed))
        return *status;
    const Options& options = std::get<Options>(parsed);
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
