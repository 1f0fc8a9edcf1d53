#include "arrangement.h"

#include "card_time.h"
#include "text_format.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace oakvane {

namespace {

constexpr int kMaxPlaceholderTries = 1000;

// Appends "/" and level to path and creates it.
Status add_level(Run& run, std::string& path, const std::string& level, const char* message)
{
    path += '/';
    path += level;
    if (const int err = run.writer.make_dir(path); err != 0)
        return fail(message, path, err);
    return {};
}

Status add_date_levels(Run& run, std::string& path, std::time_t mtime)
{
    const std::tm day = card_time_parts(run.card_clock, mtime);
    const int year = day.tm_year + 1900;
    const int month = day.tm_mon + 1;
    const int depth = run.request.date_depth;
    if (depth >= 2)
        if (Status added = add_level(run, path, format("%04d", year), "can't mk year dir"); !added)
            return added;
    if (depth == 3)
        if (Status added = add_level(run, path, format("%02d", month), "can't mk month dir"); !added)
            return added;
    return add_level(run, path, format("%04d-%02d-%02d", year, month, day.tm_mday), "can't mk date dir");
}

RangeRecord* find_range(Run& run, const std::string& path)
{
    for (RangeRecord& record : run.ranges)
        if (record.path == path)
            return &record;
    return nullptr;
}

void add_to_range(Run& run, const std::string& path, const std::string& number_text)
{
    const int number = std::atoi(number_text.substr(0, 4).c_str());
    if (RangeRecord* record = find_range(run, path)) {
        record->lowest = std::min(record->lowest, number);
        record->highest = std::max(record->highest, number);
        return;
    }
    run.ranges.insert(run.ranges.begin(), RangeRecord{path, number, number});
}

// A range folder left by an earlier run is stepped over (0000-0001, 0000-0002, ...) rather
// than filled, so that its images keep the range they were given; one that a dead run left
// holding nothing but its staging files is removed, and its name taken.
Status add_range_level(Run& run, std::string& path, const std::string& number_text)
{
    path += '/';
    path += kRangePlaceholder;
    for (int n = 1; n < kMaxPlaceholderTries && run.writer.exists(path) && !find_range(run, path) &&
                    !run.writer.clear_placeholder(path);
         ++n)
        path.replace(path.size() - 4, 4, format("%04d", n));
    add_to_range(run, path, number_text);
    if (const int err = run.writer.make_dir(path); err != 0)
        return fail("Can't create number-range dir: \"" + shown(path) + "\"", path, err);
    return {};
}

// Replaces the leading old_root of every path of the run below it by new_root.
void rewrite_run_paths(Run& run, const std::string& old_root, const std::string& new_root)
{
    auto rewrite = [&](std::string& path) {
        if (is_below(path, old_root))
            path.replace(0, old_root.size(), new_root);
    };
    for (std::string& path : run.backups)
        rewrite(path);
    // The trees' histories list the copies under the names they end with.
    for (PublishedCopy& copy : run.published)
        rewrite(copy.path);
    move_paths_below(run.own_sidecar_copies, old_root, new_root);
    move_paths_below(run.failed_copies, old_root, new_root);
}

// The final name of a range folder whose placeholder path is record.path.
std::string range_folder_name(const RangeRecord& record)
{
    return record.path.substr(0, record.path.size() - kRangePlaceholder.size()) +
           format("%04d-%04d", record.lowest, record.highest);
}

}  // namespace

Status make_image_folder_path(Run& run, std::time_t mtime, const std::string& number_text,
                              std::string& folder)
{
    const RunRequest& request = run.request;
    std::string path = request.backup_folder;
    Status made;
    if (request.date_folders)
        made = add_date_levels(run, path, mtime);
    if (made && request.user_folder)
        made = add_level(run, path, request.user_folder_name, "can't mk user-named dir");
    if (made && request.range_folders)
        made = add_range_level(run, path, number_text);
    if (!made)
        return made;
    folder = std::move(path);
    return {};
}

Status rename_range_folders(Run& run)
{
    for (const RangeRecord& record : run.ranges) {
        const std::string base = range_folder_name(record);
        std::string new_path = base;
        int err = run.writer.rename_folder(record.path, new_path);
        for (char letter = 'a'; letter <= 'z' && (err == EEXIST || err == ENOTEMPTY); ++letter) {
            new_path = base + letter;
            err = run.writer.rename_folder(record.path, new_path);
        }
        if (err != 0)
            return fail("Can't rename number-range dir: \"" + shown(record.path) + "\" to \"" + shown(new_path) + "\"",
                        new_path, err);
        rewrite_run_paths(run, record.path, new_path);
    }
    return {};
}

}  // namespace oakvane
