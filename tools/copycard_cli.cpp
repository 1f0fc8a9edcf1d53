// copycard: runs the ingestion engine from the command line.
//
//   copycard copy card_folder backup_folder primary_folder DNG_Converter_path arrangement
//            text1 text2 text3 text4 fmt preview embed verifyOnly sidecar_path arrSwitches
//            startingNumber userFolder
//   copycard test ...
//
// Standard output carries the engine's output lines and, after a successful run, the last
// primary folder and the next starting number. Exit status: 0 success, 130 stopped by
// SIGINT or SIGTERM, 1 failure. On a terminal the engine's diagnostics are shown only
// with OAKVANE_VERBOSE=1.

#include "cli_host.h"
#include "engine.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fputs("usage: copycard copy|test ... (see the README)\n", stderr);
        return 1;
    }
    oakvane::CliHost host;
    oakvane::CopycardResult result;
    int ok = 0;
    {
        const oakvane::CliHost::EngineRun quiet(host);
        ok = oakvane::copycard_main(argc, argv, host, result);
        host.finish_progress();
    }
    if (ok == 1 && argv[1] == std::string_view("copy")) {
        std::printf("Last primary folder: %s\n", result.folder ? result.folder->c_str() : "[none]");
        std::printf("Next starting number: %s\n", result.next_number->c_str());
    }
    if (ok == 1)
        return 0;
    return host.stop_requested() ? 130 : 1;
}
