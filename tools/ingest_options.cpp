#include "ingest_options.h"

#include "camera_address.h"
#include "cli_host.h"

#include <QCommandLineParser>

#include <cstdio>

namespace oakvane {

namespace {

constexpr const char* kDescription =
    "Ingests a camera card with the current preference set, as the Start button of the Oakvane\n"
    "window does: every file of the card into the backup tree, checked, then the images into\n"
    "the primary tree under new names. Standard output carries the lines of the output list.";

constexpr const char* kEpilog = R"(
Exit status:
  0    success; an ingest station stopped while idle; with --plan, the run can go ahead;
       with --check, nothing listed is changed or missing
  130  stopped by SIGINT or SIGTERM during a run or a check
  1    otherwise (a failed or refused run, a bad option, a preference set that can't be read)

Environment:
  OAKVANE_VERBOSE         1: as --verbose
  OAKVANE_TRACE_LOG       1: keeps the diagnostic log $XDG_STATE_HOME/oakvane/trace.log
                          (default ~/.local/state/oakvane/trace.log)
  OAKVANE_VERIFY_WORKERS  the number of threads that decode JPEGs (default: one per CPU, at most 8)
  OAKVANE_CARD_CLOCK      local or wall-clock: read the card's times so instead of deciding
                          from its file system and photos (a debugging aid)
  XDG_CONFIG_HOME         the preference sets are kept in $XDG_CONFIG_HOME/Oakvane
                          (default ~/.config/Oakvane)
)";

QCommandLineOption option(const QStringList& names, const char* about, const char* value = nullptr)
{
    return value ? QCommandLineOption(names, about, value) : QCommandLineOption(names, about);
}

int usage_error(const std::string& why)
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
        return "A preference set command takes neither --watch, --plan, --card, --camera nor --report.";
    if (options.set && options.command != SetCommand::None && options.command != SetCommand::Values)
        return "--set goes with a run or with --set-value; the other set commands name their set.";
    return std::nullopt;
}

}  // namespace

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
    const QCommandLineOption camera = option({"camera"}, "Ingests the one camera connected over USB, or the camera at PORT given after it (usb:BUS,DEVICE; disk:FOLDER reads a folder as a camera).");
    const QCommandLineOption watch = option({"watch"}, "Stays running as an ingest station: ingests every card inserted, one run at a time, until stopped.");
    const QCommandLineOption plan = option({"plan"}, "Prints where every file would go, the folders to create, the files skipped and the room needed, and writes nothing.");
    const QCommandLineOption report = option({"report"}, "Writes a JSON report of the run (or of --check) to FILE, also after a failed or stopped run.", "FILE");
    const QCommandLineOption check = option({"check"}, "Re-reads every file the ASC MHL histories in FOLDER and below list and tells, file by file, what is intact, changed, missing or new since; writes nothing there.", "FOLDER");
    const QCommandLineOption list_sets = option({"list-sets"}, "Lists the preference sets; * marks the remembered one.");
    const QCommandLineOption show_set = option({"show-set"}, "Prints every key of the set NAME given after it (default: the remembered set) with its value, defaults marked.");
    const QCommandLineOption new_set = option({"new-set"}, "Makes the preference set NAME, a copy of the remembered set or of --from SET.", "NAME");
    const QCommandLineOption from = option({"from"}, "The set --new-set copies.", "SET");
    const QCommandLineOption set_value = option({"set-value"}, "Sets KEY to VALUE in the remembered set, or in the set --set names, and stores it at once. Repeatable.", "KEY=VALUE");
    const QCommandLineOption select_set = option({"select-set"}, "Makes NAME the remembered preference set, as choosing it in the window does.", "NAME");
    parser.addOptions({version, verbose, set, card, camera, watch, plan, report, check, list_sets, show_set,
                       new_set, from, set_value, select_set});
    if (!parser.parse(application.arguments()))
        return usage_error(parser.errorText().toStdString());
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
    if (parser.isSet(camera) && parser.isSet(card))
        return usage_error("Give --card or --camera, not both.");
    if (parser.isSet(camera))
        options.card = camera::camera_folder(positional.isEmpty() ? "" : positional.takeFirst().toStdString());
    if (!positional.isEmpty())
        return usage_error("Unexpected argument: " + positional.first().toStdString());
    if (parser.isSet(verbose))
        CliHost::set_verbose(true);
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
    if (parser.isSet(check))
        options.check = parser.value(check).toStdString();
    options.watch = parser.isSet(watch);
    options.plan = parser.isSet(plan);
    if (options.check && (commands > 0 || options.watch || options.plan || options.card || options.set))
        return usage_error("--check takes only --report and --verbose.");
    if (const auto conflict = command_conflict(options, commands))
        return usage_error(*conflict);
    if (options.watch && (options.card || options.plan || options.report))
        return usage_error("--watch takes neither --card, --camera, --plan nor --report (a station's reports go to the ReportFolder preference).");
    if (options.plan && options.report)
        return usage_error("--plan writes nothing, not even a report.");
    return options;
}

}  // namespace oakvane
