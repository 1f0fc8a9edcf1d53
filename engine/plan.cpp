#include "plan.h"

#include "arrangement.h"
#include "backup_copy.h"
#include "card_file.h"
#include "convert_folder.h"
#include "copy_setup.h"
#include "file_records.h"
#include "fs_util.h"
#include "naming.h"
#include "run_state.h"
#include "sidecar.h"
#include "walk.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <new>
#include <set>

namespace oakvane {

namespace {

std::string file_name_of(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// What the backup pass would publish: the first of dest and its sequence-numbered names
// that is neither in the tree nor planned for an earlier card file. "" when none is free.
std::string free_backup_name(const std::string& dest, std::set<std::string>& taken)
{
    for (int n = 0; n <= kMaxSequence; ++n) {
        std::string name = n == 0 ? dest : sequence_path(dest, n);
        if (!taken.contains(name) && !path_exists(name)) {
            taken.insert(name);
            return name;
        }
    }
    return {};
}

// One card file through the backup pass's naming and arrangement. -1 ends the walk after a
// recorded error.
int plan_backup(const posix::WalkEntry& entry, RunPlan& plan, std::set<std::string>& taken)
{
    RunState& run = run_state();
    const int kind = classify_card_entry(entry);
    if (kind < 0)
        return -1;
    FileRecord record;
    record.card_path = entry.path;
    record.size = static_cast<std::uint64_t>(entry.st.st_size);
    if (kind == 0) {
        if (entry.type != posix::EntryType::file)
            return 0;
        record.check = FileCheck::skipped;
        record.message = "its name begins with \".\"";
        plan.files.push_back(std::move(record));
        return 0;
    }
    std::string number_text;
    const std::string name = make_image_file_name(entry.name(), entry.st.st_mtim.tv_sec, number_text);
    const std::optional<std::string> folder = make_image_folder_path(entry.st.st_mtim.tv_sec, number_text);
    if (!folder)
        return record_error("can't make image folder path"), -1;
    const std::string dest = *folder + (folder->ends_with('/') ? "" : "/") + name;
    record.backup_path = free_backup_name(dest, taken);
    if (record.backup_path.empty())
        return record_errno_error("creat error", dest, 0), -1;
    run.arg_vec.push_back(record.backup_path);
    if (has_card_sidecar(entry.path))
        run.own_sidecar_copies.insert(record.backup_path);
    plan.files.push_back(std::move(record));
    return 0;
}

// The primary copy of one planned backup copy, with the refusals the primary pass would meet.
// 0 after a recorded error (the run would fail there), the record filled in all the same.
int plan_primary(FileRecord& record, std::map<std::string, std::set<std::string>>& folder_names)
{
    const RunState& run = run_state();
    const std::string& backup = record.backup_path;
    const std::size_t slash = backup.rfind('/');
    const std::size_t root = run.backup_folder.size();
    const std::string folder =
        run.primary_folder + (slash > root ? backup.substr(root, slash - root) : std::string());
    make_folder_path(folder);
    record = placed_record(backup, folder, {record.card_path, record.size});
    const bool dng = !run.converter.empty() && !run.verify_only && is_raw_file(backup);
    if (!folder_names[folder].insert(file_name_of(record.primary_path)).second)
        return record_error("Two files of one folder would get the same name: \"" + record.primary_path + "\"");
    if (path_exists(record.primary_path))
        return record_error((dng ? "DNG file already exists: \"" : "Primary file already exists: \"") +
                            record.primary_path + "\"");
    return 1;
}

int plan_copies(RunPlan& plan)
{
    RunState& run = run_state();
    run.backup_root = run.backup_folder;
    make_dir(run.backup_folder);
    std::set<std::string> taken;
    const int walked = posix::walk_tree(run.card_folder.c_str(), [&](const posix::WalkEntry& e) {
        return plan_backup(e, plan, taken);
    });
    if (walked == -1 && run.last_error.empty())
        record_errno_error("ftw failed", run.card_folder, errno);
    if (walked != 0 || !plan_range_rename())
        return 0;
    std::map<std::string, std::set<std::string>> folder_names;
    std::size_t copied = 0;
    int ok = 1;
    for (FileRecord& record : plan.files) {
        if (record.check == FileCheck::skipped)
            continue;
        record.backup_path = run.arg_vec[copied++];
        if (!plan_primary(record, folder_names) && ok)
            ok = 0;
    }
    return ok;
}

std::string failure_text()
{
    const RunState& run = run_state();
    if (!run.last_error.empty())
        return run.last_error;
    if (!run.cvt_msg.empty())
        return run.cvt_msg;
    return "The run would refuse its settings.";
}

int make_plan(int argc, const char* const argv[], RunPlan& plan)
{
    RunState& run = run_state();
    if (argc < 2 || std::strcmp(argv[1], "copy") != 0)
        return record_error("Only the \"copy\" command can be planned.");
    if (!prepare_copy(argc, argv))
        return 0;
    plan.names_vary = run.fmt.find('U') != std::string::npos;
    plan.space = space_needs();
    std::string shortage;
    for (const SpaceNeed& need : plan.space)
        if (need.needed > need.available && shortage.empty())
            shortage = space_shortage_text(need);
    const int ok = plan_copies(plan);
    plan.new_folders.assign(run.planned_folders.begin(), run.planned_folders.end());
    if (!shortage.empty())
        return record_error(shortage);
    return ok;
}

}  // namespace

int copycard_plan(int argc, const char* const argv[], HostHooks& hooks, RunPlan& plan)
{
    run_state() = RunState{};
    run_state().host = &hooks;
    run_state().planning = true;
    plan = RunPlan{};
    int ok = 0;
    try {
        ok = make_plan(argc, argv, plan);
    } catch (const std::bad_alloc&) {
        record_error("out of memory");
    }
    if (!ok)
        plan.refusal = failure_text();
    run_state() = RunState{};
    return ok;
}

}  // namespace oakvane
