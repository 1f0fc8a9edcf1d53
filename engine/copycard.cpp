#include "engine.h"

#include "card_time.h"
#include "copy_setup.h"
#include "driver.h"
#include "free_space.h"
#include "run_state.h"
#include "settings_check.h"
#include "text_format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace oakvane {

namespace {

constexpr int kCopyArgumentCount = 19;
constexpr int kMaxAutomaticNumber = 9999;

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

void store_settings(const char* const argv[])
{
    RunState& run = run_state();
    run.card_folder = argv[2];
    run.backup_folder = argv[3];
    run.primary_folder = argv[4];
    run.converter = std::strcmp(argv[5], "none") == 0 ? "" : argv[5];
    run.arrangement = argv[6];
    for (int i = 0; i < 4; ++i)
        run.texts[i] = argv[7 + i];
    run.fmt = argv[11];
    run.preview = argv[12];
    run.embed = argv[13];
    run.verify_only = std::strcmp(argv[14], "verifyOnly") == 0;
    run.sidecar_path = argv[15];
    run.arr_switches = argv[16];
}

}  // namespace

void show_failure()
{
    const RunState& run = run_state();
    host().output_text("\nERROR:\n");
    if (!run.cvt_msg.empty())
        host().output_text(run.cvt_msg);
    if (!run.last_error.empty()) {
        host().output_text(run.last_error);
        host().output_text("\n");
    }
}

int prepare_copy(int argc, const char* const argv[])
{
    RunState& run = run_state();
    if (argc != kCopyArgumentCount) {
        host().output_text(kUsage);
        return record_error("arg count");
    }
    if (std::strcmp(argv[3], argv[4]) == 0) {
        host().output_text("\nERROR: Backup and primary folders must be different.\n");
        return 0;
    }
    store_settings(argv);
    if (run.arr_switches.size() != 3)
        return record_error("arrSwitches must be 3 chars");
    run.user_folder = argv[18];
    // The converter is on but names no program: fail as a converter that can't be started
    // would, only before anything is copied rather than after.
    if (argv[5][0] == '\0') {
        set_message(run.cvt_msg, format("Can't execute:  (error code = %d)", ENOENT),
                    kConverterMessageSize);
        trace(run.cvt_msg);
        show_failure();
        return 0;
    }

    if (!parse_starting_number(argv[17]) || !check_folders() || !count_images() ||
        !decide_card_clock()) {
        show_failure();
        return 0;
    }
    // The automatic numbers of a run stay four digits.
    if (static_cast<long long>(run.running_number) + run.image_count > kMaxAutomaticNumber)
        run.running_number = 1;
    return 1;
}

namespace {

int copy_command(int argc, const char* const argv[], CopycardResult& result)
{
    RunState& run = run_state();
    if (!prepare_copy(argc, argv))
        return 0;
    // Before anything is written: a tree that fills up half-way helps no one.
    if (!check_free_space()) {
        show_failure();
        return 0;
    }
    host().progress_range(run.image_count + 1);

    if (!ingest_card(run.cvt_msg, kConverterMessageSize)) {
        if (!host().stop_requested())
            show_failure();
        return 0;
    }
    result.next_number = std::to_string(run.running_number);
    result.folder = run.last_primary_folder;
    return 1;
}

}  // namespace

int copycard_main(int argc, const char* const argv[], HostHooks& hooks, CopycardResult& result)
{
    run_state() = RunState{};
    run_state().host = &hooks;
    result = CopycardResult{};
    if (argc >= 2 && std::strcmp(argv[1], "test") == 0)
        return self_test(argc, argv);
    if (argc < 2 || std::strcmp(argv[1], "copy") != 0)
        return 0;
    int ok = 0;
    try {
        ok = copy_command(argc, argv, result);
    } catch (const std::bad_alloc&) {
        record_error("out of memory");
        show_failure();
        ok = 0;
    }
    engine_cleanup();
    run_state().backup_lock.reset();
    run_state().primary_lock.reset();
    if (!ok)
        result = CopycardResult{};
    return ok;
}

}  // namespace oakvane
