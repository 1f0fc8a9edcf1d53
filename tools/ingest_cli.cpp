// oakvane-ingest: runs an ingestion from the current preference set, as the desktop
// application's Start does, without windows.
//
//   oakvane-ingest [--set NAME] [--card FOLDER]
//
// --set switches to the named preference set first (and remembers it, as choosing it in the
// window does); --card names the card folder, otherwise the CardFolder preference decides.
// Standard output carries the lines of the output list. Exit status: 0 success, 130 stopped
// by SIGINT or SIGTERM, 1 otherwise.

#include "app_globals.h"
#include "ingest_host.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

struct Options {
    std::optional<std::string> set;
    std::optional<std::string> card;
};

constexpr const char* kUsage = "usage: oakvane-ingest [--set NAME] [--card FOLDER]\n";

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
        if ((arg == "--set" || arg == "--card") && i + 1 < argc) {
            (arg == "--set" ? options.set : options.card) = argv[++i];
        } else {
            std::fputs(kUsage, stderr);
            return std::nullopt;
        }
    }
    return options;
}

// The set the window would open: the remembered one, unless another was named.
bool open_set(oakvane::Preferences& prefs, const std::optional<std::string>& named)
{
    const oakvane::SetList list = prefs.FillPrefSetCombo(false);
    const std::string remembered = list.selected >= 0 ? list.entries[list.selected] : "Default";
    if (!prefs.SwitchPrefSet(remembered))
        return false;
    return !named || prefs.SwitchPrefSet(*named);
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
    if (!prefs.InitPreferences() || !open_set(prefs, options->set))
        return 1;
    oakvane::g_userFolderName = prefs.GetWantUserFolder() ? prefs.GetUserFolder() : "";
    oakvane::StartCommand start(prefs, host);
    start.set_card_override(options->card);
    const int status = exit_status(start.OnStart());
    prefs.SavePreferences();
    return status;
}
