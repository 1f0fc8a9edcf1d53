#include "engine.h"

#include "driver.h"
#include "folder_source.h"
#include "histories.h"
#include "plan.h"
#include "run.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace oakvane {

namespace {

constexpr const char* kUsage =
    "arg count -- copycard copy card_folder backup_folder primary_folder DNG_Converter_path "
    "arrangement text1 text2 text3 text4 fmt preview embed verifyOnly sidecar_path "
    "arrSwitches startingNumber userFolder";

// Lists the arguments and a hundred numbered lines, so a host can check how it shows
// engine output. 0 when asked to fail ("error" as the first argument after the command).
int self_test(int argc, const char* const argv[])
{
    for (int i = 0; i < argc; ++i)
        std::printf("arg%d: [%s]\n", i, argv[i]);
    for (int i = 0; i < 100; ++i)
        std::printf("Line %d\n", i);
    std::fflush(stdout);
    return argc >= 3 && std::strcmp(argv[2], "error") == 0 ? 0 : 1;
}

// A log of the run keeps the failure beside the diagnostics that led to it.
void show_failure(HostHooks& host, const Failure& failure)
{
    host.diagnostic(failure.text());
    show_failure(failure, [&host](std::string_view text) { host.output_text(text); });
}

Status run_card(Run& run)
{
    if (Status prepared = prepare_run(run); !prepared)
        return prepared;
    if (Status rehearsed = rehearse_run(run); !rehearsed)
        return rehearsed;
    std::vector<SpaceNeed> needs;
    return drive_run(run, needs);
}

}  // namespace

// The one place a failure becomes lines of the output list.
void show_failure(const Failure& failure, const std::function<void(std::string_view)>& output)
{
    output("\nERROR:\n");
    output(failure.text());
    output("\n");
}

RunResult ingest(const RunRequest& request, HostHooks& host)
{
    RunResult result;
    DiskWriter writer;
    const std::unique_ptr<CardSource> card = open_card_source(request, host);
    Run run(request, host, writer, *card);
    Status done;
    try {
        done = run_card(run);
    } catch (const std::bad_alloc&) {
        done = fail("out of memory");
    }
    result.counts = run.counts;
    result.reported = run.reported;
    if (done) {
        run.output("\nSUCCESSFUL INGESTION - no errors detected\n");
        result.end = RunEnd::succeeded;
        result.outcome = "SUCCESSFUL INGESTION - no errors detected";
        result.folder = run.last_primary_folder;
        result.next_number = run.running_number;
        return result;
    }
    // What a failed run did publish is in the trees: their histories list it all the same.
    if (Status written = write_histories(run); !written)
        run.diagnostic("the trees' histories can't be written: " + written.failure().text());
    result.failure = done.failure();
    const bool stopped = host.stop_requested() != 0 || done.failure().stopped();
    result.end = stopped ? RunEnd::stopped : RunEnd::failed;
    if (!stopped)
        show_failure(host, done.failure());
    return result;
}

int copycard_main(int argc, const char* const argv[], HostHooks& host, CopycardResult& result,
                  const CopycardOptions& options)
{
    result = CopycardResult{};
    if (argc >= 2 && std::strcmp(argv[1], "test") == 0)
        return self_test(argc, argv);
    if (argc < 2 || std::strcmp(argv[1], "copy") != 0)
        return 0;
    Failure refused;
    bool misuse = false;
    const std::optional<RunRequest> request = parse_copy_arguments(argc, argv, refused, misuse);
    if (!request && misuse) {
        if (argc != static_cast<int>(kCopyArgumentNames.size()))
            host.output_text(kUsage);
        host.diagnostic(refused.text());
        return 0;
    }
    if (!request) {
        show_failure(host, refused);
        return 0;
    }
    RunRequest wanted = *request;
    wanted.read_back = options.read_back;
    wanted.decode_raws = options.decode_raws;
    wanted.capture_dates = options.capture_dates;
    wanted.card_source = options.card_source;
    const RunResult run = ingest(wanted, host);
    if (!run.succeeded())
        return 0;
    if (run.next_number)
        result.next_number = std::to_string(*run.next_number);
    result.folder = run.folder;
    return 1;
}

}  // namespace oakvane
