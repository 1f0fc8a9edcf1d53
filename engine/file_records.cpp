#include "file_records.h"

#include "card_file.h"
#include "convert_folder.h"
#include "fs_util.h"
#include "sidecar.h"

#include <strings.h>

namespace oakvane {

namespace {

std::string file_name_of(const std::string& path) { return path.substr(path.rfind('/') + 1); }

CardEntry source_of(const std::string& backup_path)
{
    const auto& sources = run_state().source_of_backup;
    const auto found = sources.find(backup_path);
    return found == sources.end() ? CardEntry{} : found->second;
}

}  // namespace

const char* file_check_text(FileCheck check)
{
    switch (check) {
    case FileCheck::jpeg_decoded: return "JPEG decoded";
    case FileCheck::converter_verified: return "converter verified";
    case FileCheck::size_only: return "size only";
    case FileCheck::failed: return "failed";
    case FileCheck::skipped: return "skipped";
    }
    return "failed";
}

std::string dng_name_of(const std::string& path)
{
    const std::string name = file_name_of(path);
    return name.substr(0, name.rfind('.')) + ".dng";
}

bool is_jpeg_path(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    return dot != std::string::npos && strcasecmp(path.c_str() + dot, ".JPG") == 0;
}

void note_backup_source(const std::string& intended, const CardEntry& source)
{
    run_state().unpublished_sources[intended].push_back(source);
}

// Copies are published in the order they were staged, so the oldest source staged under a
// name is the one published now.
void note_backup_published(const std::string& intended)
{
    RunState& run = run_state();
    auto found = run.unpublished_sources.find(intended);
    if (found == run.unpublished_sources.end() || found->second.empty())
        return;
    run.backup_sources.resize(run.arg_vec.size() - 1);
    run.backup_sources.push_back(std::move(found->second.front()));
    found->second.pop_front();
    // An empty deque still holds a block of its own: keeping one per name made the run's
    // memory grow by about a kilobyte per card file.
    if (found->second.empty())
        run.unpublished_sources.erase(found);
}

void index_backup_sources()
{
    RunState& run = run_state();
    for (std::size_t i = 0; i < run.arg_vec.size() && i < run.backup_sources.size(); ++i)
        run.source_of_backup.emplace(run.arg_vec[i], std::move(run.backup_sources[i]));
    std::vector<CardEntry>().swap(run.backup_sources);
}

FileRecord placed_record(const std::string& backup_path, const std::string& folder,
                         const CardEntry& source)
{
    const RunState& run = run_state();
    FileRecord record;
    record.card_path = source.path;
    record.size = source.size;
    record.backup_path = backup_path;
    const bool template_sidecars = !run.sidecar_path.empty();
    if (template_sidecars && !has_card_sidecar(source.path))
        record.backup_sidecar = sidecar_path_for(backup_path);
    const bool converted = !run.converter.empty() && is_raw_file(backup_path);
    record.check = converted ? FileCheck::converter_verified
                             : is_jpeg_path(backup_path) ? FileCheck::jpeg_decoded : FileCheck::size_only;
    if (converted && !run.verify_only) {
        record.primary_path = folder + "/" + dng_name_of(backup_path);
        return record;
    }
    record.primary_path = folder + "/" + file_name_of(backup_path);
    if (template_sidecars && !run.own_sidecar_copies.contains(backup_path))
        record.primary_sidecar = sidecar_path_for(record.primary_path);
    return record;
}

void report_skipped(const posix::WalkEntry& entry)
{
    if (entry.type != posix::EntryType::file)
        return;
    FileRecord record;
    record.card_path = entry.path;
    record.size = static_cast<std::uint64_t>(entry.st.st_size);
    record.check = FileCheck::skipped;
    record.message = "its name begins with \".\"";
    host().file_record(record);
}

void report_placed(std::span<const std::string> files, const std::string& folder)
{
    for (const std::string& backup : files)
        host().file_record(placed_record(backup, folder, source_of(backup)));
}

void report_unplaced(std::span<const std::string> files, const std::string& folder,
                     const std::string& message)
{
    std::string shown = message;
    while (!shown.empty() && shown.back() == '\n')
        shown.pop_back();
    for (const std::string& backup : files) {
        FileRecord record = placed_record(backup, folder, source_of(backup));
        const bool named = !shown.empty() && (shown.find(record.primary_path) != std::string::npos ||
                                              shown.find(backup) != std::string::npos);
        // Copies of the failing folder published before the failure stay, checked.
        if (!named && !folder.empty() && path_exists(record.primary_path)) {
            host().file_record(record);
            continue;
        }
        record.primary_path.clear();
        record.primary_sidecar.clear();
        record.check = FileCheck::failed;
        record.message = named ? shown : "not placed: the run ended first";
        host().file_record(record);
    }
}

}  // namespace oakvane
