#include "arrangement.h"

#include "card_time.h"
#include "fs_util.h"
#include "staged_file.h"
#include "text_format.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <set>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace oakvane {

namespace {

constexpr int kMaxPlaceholderTries = 1000;

// Appends "/" and level to path and creates it; records message when that fails.
bool add_level(std::string& path, const std::string& level, const char* message)
{
    path += '/';
    path += level;
    const int err = make_dir(path);
    if (err != 0) {
        record_errno_error(message, path, err);
        return false;
    }
    return true;
}

bool add_date_levels(std::string& path, std::time_t mtime)
{
    RunState& run = run_state();
    const std::tm day = card_time_parts(mtime);
    const int year = day.tm_year + 1900;
    const int month = day.tm_mon + 1;
    const char depth = run.arrangement.empty() ? '1' : run.arrangement[0];
    if ((depth == '2' || depth == '3') && !add_level(path, format("%04d", year), "can't mk year dir"))
        return false;
    if (depth == '3' && !add_level(path, format("%02d", month), "can't mk month dir"))
        return false;
    return add_level(path, format("%04d-%02d-%02d", year, month, day.tm_mday), "can't mk date dir");
}

// A range folder left by an earlier run is stepped over (0000-0001, 0000-0002, ...) rather
// than filled, so that its images keep the range they were given.
bool add_range_level(std::string& path, const std::string& number_text)
{
    path += '/';
    path += kRangePlaceholder;
    for (int n = 1; n < kMaxPlaceholderTries && path_exists(path) && !store_range_find(path); ++n)
        path.replace(path.size() - 4, 4, format("%04d", n));
    store_range_add(path, number_text);
    const int err = make_dir(path);
    if (err != 0) {
        record_errno_error("Can't create number-range dir: \"" + path + "\"", path, err);
        return false;
    }
    return true;
}

bool below(const std::string& path, const std::string& root)
{
    return path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
           path[root.size()] == '/';
}

// Replaces the leading old_root of every path of the run below it, or equal to it, by
// new_root: the backup list and the folders the run keeps track of.
void rewrite_run_paths(const std::string& old_root, const std::string& new_root)
{
    RunState& run = run_state();
    for (std::string& path : run.arg_vec)
        if (below(path, old_root))
            path.replace(0, old_root.size(), new_root);
    for (std::set<std::string>* folders :
         {&run.changed_folders, &run.swept_folders, &run.own_sidecar_copies, &run.planned_folders}) {
        std::set<std::string> moved;
        for (auto it = folders->begin(); it != folders->end();) {
            if (*it == old_root || below(*it, old_root)) {
                moved.insert(new_root + it->substr(old_root.size()));
                it = folders->erase(it);
            } else {
                ++it;
            }
        }
        folders->merge(moved);
    }
}

// Renames the folder from to to, failing with EEXIST rather than replacing anything. Where
// the file system has no such rename (EINVAL), the final name is made as a new empty folder
// first, which only this run can then hold, and the folder is renamed onto it. 0 or errno.
int rename_folder_noreplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (::mkdir(to.c_str(), 0777) != 0)
        return errno;
    if (::rename(from.c_str(), to.c_str()) != 0) {
        const int err = errno;
        ::rmdir(to.c_str());
        return err;
    }
    return 0;
}

}  // namespace

std::optional<std::string> make_image_folder_path(std::time_t mtime, const std::string& number_text)
{
    RunState& run = run_state();
    std::string path = run.backup_root;
    const std::string& sw = run.arr_switches;
    if (sw.size() > 0 && sw[0] == 'D' && !add_date_levels(path, mtime))
        return std::nullopt;
    if (sw.size() > 1 && sw[1] == 'U' && !add_level(path, run.user_folder, "can't mk user-named dir"))
        return std::nullopt;
    if (sw.size() > 2 && sw[2] == 'R' && !add_range_level(path, number_text))
        return std::nullopt;
    return path;
}

void store_range_reset() { run_state().ranges.clear(); }

RangeRecord* store_range_find(const std::string& path)
{
    for (RangeRecord& record : run_state().ranges)
        if (record.path == path)
            return &record;
    return nullptr;
}

void store_range_add(const std::string& path, const std::string& number_text)
{
    const int number = std::atoi(number_text.substr(0, 4).c_str());
    if (RangeRecord* record = store_range_find(path)) {
        record->lowest = std::min(record->lowest, number);
        record->highest = std::max(record->highest, number);
        return;
    }
    auto& ranges = run_state().ranges;
    ranges.insert(ranges.begin(), RangeRecord{path, number, number});
}

std::string range_folder_name(const RangeRecord& record)
{
    return record.path.substr(0, record.path.size() - kRangePlaceholder.size()) +
           format("%04d-%04d", record.lowest, record.highest);
}

int store_range_rename()
{
    for (const RangeRecord& record : run_state().ranges) {
        // The range name, else with "a" to "z" appended; a taken name is never replaced.
        const std::string base = range_folder_name(record);
        std::string new_path = base;
        int err = rename_folder_noreplace(record.path, new_path);
        for (char letter = 'a'; letter <= 'z' && (err == EEXIST || err == ENOTEMPTY); ++letter) {
            new_path = base + letter;
            err = rename_folder_noreplace(record.path, new_path);
        }
        if (err != 0)
            return record_errno_error("Can't rename number-range dir: \"" + record.path +
                                          "\" to \"" + new_path + "\"",
                                      new_path, err);
        note_folder_changed(folder_of(new_path));
        rewrite_run_paths(record.path, new_path);
    }
    return 1;
}

int plan_range_rename()
{
    // Every placeholder stands in the tree while the renames run, its own included.
    std::set<std::string> occupied;
    for (const RangeRecord& record : run_state().ranges)
        occupied.insert(record.path);
    for (const RangeRecord& record : run_state().ranges) {
        const std::string base = range_folder_name(record);
        std::string new_path = base;
        auto taken = [&] { return occupied.contains(new_path) || path_exists(new_path); };
        for (char letter = 'a'; letter <= 'z' && taken(); ++letter)
            new_path = base + letter;
        if (taken())
            return record_errno_error("Can't rename number-range dir: \"" + record.path +
                                          "\" to \"" + new_path + "\"",
                                      new_path, EEXIST);
        occupied.erase(record.path);
        occupied.insert(new_path);
        rewrite_run_paths(record.path, new_path);
    }
    return 1;
}

}  // namespace oakvane
