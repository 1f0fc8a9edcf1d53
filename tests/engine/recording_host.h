#pragma once
// A host that records what the engine reports, for tests that call the engine directly.

#include "engine.h"
#include "folder_source.h"
#include "run.h"
#include "tree_writer.h"

#include <functional>
#include <string>
#include <vector>

namespace oakvane::test {

class RecordingHost : public HostHooks {
public:
    void output_text(std::string_view text) override;
    void progress_status(std::string_view text) override { statuses.emplace_back(text); }
    void progress_range(int n) override { ranges.push_back(n); }
    void progress_step() override { ++steps; }
    void progress_tick() override { ++ticks; }
    int stop_requested() override;
    void diagnostic(std::string_view text) override { diagnostics.emplace_back(text); }
    void conversion_progress(int converted, int total) override { conversions.push_back({converted, total}); }

    // Every output_text call as given, and the list lines they make.
    std::vector<std::string> texts;
    std::vector<std::string> lines;
    std::vector<std::string> statuses;
    std::vector<std::string> diagnostics;
    std::vector<int> ranges;
    std::vector<std::pair<int, int>> conversions;  // converted, total
    int steps = 0;
    int ticks = 0;
    int stop = 0;
    // Called on every stop poll; lets a test request a stop at a chosen moment.
    std::function<void(RecordingHost&)> on_stop_poll;
    int stop_polls = 0;
};

// A run for tests that call single steps of the engine: the request as the test fills it,
// a recording host, writing to the disk and reading the card folder the request names.
struct StepRun {
    explicit StepRun(const RunRequest& request = {})
        : card(request.card_folder), run(request, host, writer, card) {}
    RecordingHost host;
    DiskWriter writer;
    FolderSource card;
    Run run;
};

}  // namespace oakvane::test
