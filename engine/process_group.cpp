#include "process_group.h"

#include "fs_util.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <thread>
#include <unistd.h>

namespace oakvane {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFreezeWait = std::chrono::seconds(1);
constexpr auto kDeathWait = std::chrono::seconds(2);
constexpr auto kLookStep = std::chrono::milliseconds(10);

struct Member {
    pid_t pid;
    char state;
};

bool alive(const Member& m) { return m.state != 'Z' && m.state != 'X'; }
bool frozen(const Member& m) { return !alive(m) || m.state == 'T' || m.state == 't'; }

// From /proc/<pid>/stat, "pid (comm) state ppid pgrp ...": comm may itself hold ") ".
bool read_stat(const std::string& pid, char& state, pid_t& pgrp)
{
    std::ifstream in("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return false;
    const std::size_t paren = line.rfind(')');
    if (paren == std::string::npos || paren + 2 >= line.size())
        return false;
    state = line[paren + 2];
    char* end = nullptr;
    const long ppid = std::strtol(line.c_str() + paren + 3, &end, 10);
    (void)ppid;
    pgrp = static_cast<pid_t>(std::strtol(end, nullptr, 10));
    return true;
}

std::vector<Member> members_of(pid_t pgid)
{
    std::vector<Member> found;
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    if (!proc)
        return found;
    while (const dirent* e = ::readdir(proc.get())) {
        const std::string name = e->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        char state = 0;
        pid_t pgrp = 0;
        if (read_stat(name, state, pgrp) && pgrp == pgid)
            found.push_back({static_cast<pid_t>(std::atol(name.c_str())), state});
    }
    return found;
}

template <typename Done>
std::vector<Member> wait_for(pid_t pgid, Clock::duration limit, Done done)
{
    const auto deadline = Clock::now() + limit;
    for (;;) {
        std::vector<Member> members = members_of(pgid);
        bool all = true;
        for (const Member& m : members)
            all = all && done(m);
        if (all || Clock::now() >= deadline)
            return members;
        std::this_thread::sleep_for(kLookStep);
    }
}

void note_below(const std::string& path, const std::string& root, std::vector<std::string>& into)
{
    if (is_below(path, root))
        into.push_back(path);
}

// The files below root that pid has open or mapped.
void files_below(pid_t pid, const std::string& root, std::vector<std::string>& into)
{
    const std::string base = "/proc/" + std::to_string(pid);
    std::unique_ptr<DIR, int (*)(DIR*)> fds(::opendir((base + "/fd").c_str()), ::closedir);
    while (fds)
        if (const dirent* e = ::readdir(fds.get())) {
            char target[PATH_MAX];
            const std::string link = base + "/fd/" + e->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0)
                note_below(std::string(target, std::size_t(n)), root, into);
        } else {
            break;
        }
    // A shared writable mapping writes without a descriptor.
    std::ifstream maps(base + "/maps");
    for (std::string line; std::getline(maps, line);)
        if (const std::size_t at = line.find(" /"); at != std::string::npos)
            note_below(line.substr(at + 1), root, into);
}

std::string resolved(const std::string& path)
{
    if (path.empty())
        return {};
    std::unique_ptr<char, void (*)(void*)> real(::realpath(path.c_str(), nullptr), std::free);
    return real ? std::string(real.get()) : std::string();
}

}  // namespace

GroupEnd end_process_group(pid_t pgid, const std::string& watched)
{
    GroupEnd end;
    // Stopped first, so that no member opens, forks or writes while it is looked at.
    if (::kill(-pgid, SIGSTOP) != 0) {
        if (errno != ESRCH)
            end.kill_error = errno;
        return end;
    }
    const std::vector<Member> members = wait_for(pgid, kFreezeWait, frozen);
    if (const std::string root = resolved(watched); !root.empty())
        for (const Member& m : members)
            if (alive(m))
                files_below(m.pid, root, end.files_in_use);
    if (::kill(-pgid, SIGKILL) != 0 && errno != ESRCH)
        end.kill_error = errno;
    // A killed process may still be inside a write; its file is looked at only after.
    for (const Member& m : wait_for(pgid, kDeathWait, [](const Member& m) { return !alive(m); }))
        end.survivors += alive(m) ? 1 : 0;
    return end;
}

}  // namespace oakvane
