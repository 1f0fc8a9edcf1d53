// oakvane-ingest: runs an ingestion from the current preference set, as the desktop
// application's Start does, without windows.
//
//   oakvane-ingest [--verbose] [--set NAME] [--card FOLDER]
//   oakvane-ingest [--verbose] [--set NAME] --watch
//
// --set switches to the named preference set first (and remembers it, as choosing it in the
// window does); --card names the card folder, otherwise the CardFolder preference decides, and
// "[user choice]" takes the one mounted card. --watch keeps running as an ingest station that
// ingests every card inserted meanwhile. Standard output carries the lines of the output list;
// on a terminal, standard error shows the progress bar, or with --verbose the engine's
// diagnostics instead.
// Exit status: 0 success (or a station stopped while idle), 130 stopped by SIGINT or SIGTERM
// during a run, 1 otherwise.

#include "app_globals.h"
#include "ingest_host.h"
#include "ingest_station.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

struct Options {
    std::optional<std::string> set;
    std::optional<std::string> card;
    bool watch = false;
};

constexpr const char* kUsage =
    "usage: oakvane-ingest [--verbose] [--set NAME] [--card FOLDER]\n"
    "       oakvane-ingest [--verbose] [--set NAME] --watch\n";

// None after a usage error, which has been printed.
std::optional<Options> parse_options(int argc, char* argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (arg == "--watch") {
            options.watch = true;
        } else if (arg == "--verbose") {
            oakvane::CliHost::set_verbose(true);
        } else if ((arg == "--set" || arg == "--card") && i + 1 < argc) {
            (arg == "--set" ? options.set : options.card) = argv[++i];
        } else {
            std::fputs(kUsage, stderr);
            return std::nullopt;
        }
    }
    if (options.watch && options.card) {
        std::fputs(kUsage, stderr);
        return std::nullopt;
    }
    return options;
}

// The set the window would open: the remembered one, unless another was named. Only a set of
// the list can be named, as in the window: a name is never a path to some other file. A named
// set is opened straight away, so that a remembered set that cannot be read (the very reason
// to name another) does not stand in the way.
bool open_set(oakvane::Preferences& prefs, oakvane::IngestHost& host,
              const std::optional<std::string>& named)
{
    const oakvane::SetList list = prefs.FillPrefSetCombo(false);
    if (!named)
        return prefs.SwitchPrefSet(list.selected >= 0 ? list.entries[list.selected] : "Default");
    if (std::find(list.entries.begin(), list.entries.end(), *named) == list.entries.end()) {
        host.message_box("Can't read Preference Set:" + *named);
        return false;
    }
    return prefs.SwitchPrefSet(*named);
}

int exit_status(oakvane::StartResult result)
{
    switch (result) {
    case oakvane::StartResult::Succeeded: return 0;
    case oakvane::StartResult::Stopped: return 130;
    default: return 1;
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    const std::optional<Options> options = parse_options(argc, argv);
    if (!options)
        return 1;
    QCoreApplication application(argc, argv);
    oakvane::IngestHost host;
    oakvane::Preferences prefs(host);
    host.set_preferences(&prefs);
    if (!prefs.InitPreferences() || !open_set(prefs, host, options->set))
        return 1;
    oakvane::g_userFolderName = prefs.GetWantUserFolder() ? prefs.GetUserFolder() : "";
    // Cards start runs only through the station's own queue, never by the detector's rule.
    oakvane::CardDetector detector(host, oakvane::make_system_volume_source(), [] { return false; });
    host.set_detector(&detector);
    oakvane::StartCommand start(prefs, host);
    int status = 0;
    if (options->watch) {
        host.set_station(true);
        status = oakvane::IngestStation(prefs, host, detector, start).run();
    } else {
        detector.ScanForCards();
        start.set_card_override(options->card);
        status = exit_status(start.OnStart());
    }
    // A set that cannot be saved loses the next starting number: not a success.
    if (!prefs.SavePreferences() && status == 0)
        status = 1;
    return status;
}
