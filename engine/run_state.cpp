#include "run_state.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace oakvane {

namespace {
RunState g_run;
}

RunState& run_state() { return g_run; }

HostHooks& host() { return *g_run.host; }

void trace(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    if (text.empty() || text.back() != '\n')
        std::fputc('\n', stderr);
}

int record_error(std::string_view msg)
{
    trace(msg);
    set_message(g_run.last_error, msg, kLastErrorSize);
    return 0;
}

int record_errno_error(std::string_view msg, std::string_view path, int err)
{
    std::string detail(path);
    if (err != 0)
        detail.append(": ").append(std::strerror(err));
    trace(detail);
    return record_error(msg);
}

void engine_cleanup()
{
    std::vector<char>().swap(g_run.copy_buffer);
    std::vector<std::string>().swap(g_run.arg_vec);
    std::vector<std::string>().swap(g_run.sidecars);
}

void set_message(std::string& buffer, std::string_view text, std::size_t size)
{
    buffer.assign(text.substr(0, size == 0 ? 0 : size - 1));
}

const std::string& last_error_text() { return g_run.last_error; }

}  // namespace oakvane
