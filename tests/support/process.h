#pragma once
// Running a program from a test: its argument vector, extra environment, captured output.

#include <string>
#include <sys/types.h>
#include <vector>

namespace oakvane::test {

struct ProcessResult {
    int exit_code = -1;  // -1 when it ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

class Process {
public:
    // Starts argv[0] with argv; env entries "NAME=value" are added to this process's
    // environment. Standard output and error are captured.
    Process(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return m_pid; }
    void send_signal(int sig);
    // Waits for the end, collecting all output.
    ProcessResult wait();
    // Output collected so far (does not block for more than timeout_ms).
    const std::string& poll_out(int timeout_ms);

private:
    void pump(int timeout_ms);
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    bool m_waited = false;
    ProcessResult m_result;
};

ProcessResult run_process(const std::vector<std::string>& argv,
                          const std::vector<std::string>& env = {});

}  // namespace oakvane::test
