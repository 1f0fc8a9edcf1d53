#include "recording_host.h"

#include "output_lines.h"

namespace oakvane::test {

void RecordingHost::output_text(std::string_view text)
{
    texts.emplace_back(text);
    for (auto& line : output_lines(text))
        lines.push_back(std::move(line));
}

int RecordingHost::stop_requested()
{
    ++stop_polls;
    if (on_stop_poll)
        on_stop_poll(*this);
    return stop;
}

}  // namespace oakvane::test
