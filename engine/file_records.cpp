#include "file_records.h"

#include "card_file.h"
#include "file_kinds.h"
#include "fs_util.h"
#include "raw_verify.h"
#include "text_format.h"

namespace oakvane {

namespace {

CardEntry source_of(const Run& run, const std::string& backup_path)
{
    const auto found = run.source_of_backup.find(backup_path);
    return found == run.source_of_backup.end() ? CardEntry{} : found->second;
}

// A raw copied as it is was decoded, unless it is among those the decoder did not check
// (a plan tells what a run would do).
void raw_check(const Run& run, FileRecord& record)
{
    if (const auto found = run.raws_unchecked.find(record.primary_path); found != run.raws_unchecked.end())
        record.unchecked_why = found->second;
    else if (!run.request.decode_raws)
        record.unchecked_why = kRawDecodingOff;
    else
        record.check = FileCheck::raw_decoded;
}

}  // namespace

const char* file_check_text(FileCheck check)
{
    switch (check) {
    case FileCheck::jpeg_decoded: return "JPEG decoded";
    case FileCheck::raw_decoded: return "raw decoded";
    case FileCheck::converter_verified: return "converter verified";
    case FileCheck::size_only: return "size only";
    case FileCheck::failed: return "failed";
    case FileCheck::skipped: return "skipped";
    case FileCheck::already_ingested: return "already ingested";
    }
    return "failed";
}

void note_backup_source(Run& run, const std::string& intended, const CardEntry& source)
{
    run.unpublished_sources[intended].push_back(source);
}

// Copies are published in the order they were staged, so the oldest source staged under a
// name is the one published now.
void note_backup_published(Run& run, const std::string& intended)
{
    auto found = run.unpublished_sources.find(intended);
    if (found == run.unpublished_sources.end() || found->second.empty())
        return;
    run.backup_sources.resize(run.backups.size() - 1);
    run.backup_sources.push_back(std::move(found->second.front()));
    found->second.pop_front();
    // An empty deque still holds a block of its own: keeping one per name made the run's
    // memory grow by about a kilobyte per card file.
    if (found->second.empty())
        run.unpublished_sources.erase(found);
}

void index_backup_sources(Run& run)
{
    for (std::size_t i = 0; i < run.backups.size() && i < run.backup_sources.size(); ++i)
        run.source_of_backup.emplace(run.backups[i], std::move(run.backup_sources[i]));
    std::vector<CardEntry>().swap(run.backup_sources);
}

FileRecord placed_record(const Run& run, const std::string& backup_path, const std::string& folder)
{
    const CardEntry source = source_of(run, backup_path);
    FileRecord record;
    record.card_path = source.path;
    record.size = source.size;
    record.backup_path = backup_path;
    record.hash = source.hash;
    // Reaching its record, a file read back had both copies match: a mismatch fails the run.
    record.read_back = run.request.read_back && !source.hash.empty();
    const bool template_sidecars = !run.request.sidecar_template.empty();
    if (template_sidecars && !has_card_sidecar(run, source.path))
        record.backup_sidecar = sidecar_path_for(backup_path);
    const bool converted = run.converting() && is_convertible_raw(backup_path);
    record.check = converted ? FileCheck::converter_verified
                             : is_jpeg_path(backup_path) ? FileCheck::jpeg_decoded : FileCheck::size_only;
    if (converted && !run.request.verify_only) {
        record.primary_path = folder + "/" + dng_name_of(backup_path);
        return record;
    }
    record.primary_path = folder + "/" + file_name_of(backup_path);
    if (!converted && is_raw_file(backup_path))
        raw_check(run, record);
    if (template_sidecars && !run.own_sidecar_copies.contains(backup_path))
        record.primary_sidecar = sidecar_path_for(record.primary_path);
    return record;
}

void report_skipped(Run& run, const CardItem& item)
{
    if (item.type != posix::EntryType::file)
        return;
    FileRecord record;
    record.card_path = item.path;
    record.size = static_cast<std::uint64_t>(item.st.st_size);
    record.check = FileCheck::skipped;
    record.message = "its name begins with \".\"";
    run.file_record(record);
}

void report_placed(Run& run, std::span<const std::string> files, const std::string& folder)
{
    for (const std::string& backup : files)
        run.file_record(placed_record(run, backup, folder));
}

void report_unplaced(Run& run, std::span<const std::string> files, const std::string& folder,
                     const Failure* failure)
{
    std::string shown = failure ? failure->text() : std::string();
    while (!shown.empty() && shown.back() == '\n')
        shown.pop_back();
    for (const std::string& backup : files) {
        FileRecord record = placed_record(run, backup, folder);
        // Messages show names with their control characters escaped.
        const bool named = !shown.empty() && (shown.find(record.primary_path) != std::string::npos ||
                                              shown.find(backup) != std::string::npos ||
                                              shown.find(oakvane::shown(record.primary_path)) != std::string::npos ||
                                              shown.find(oakvane::shown(backup)) != std::string::npos);
        // Copies of the failing folder published before the failure stay, checked.
        if (!named && !folder.empty() && run.writer.writes() && path_exists(record.primary_path)) {
            run.file_record(record);
            continue;
        }
        record.primary_path.clear();
        record.primary_sidecar.clear();
        record.check = FileCheck::failed;
        record.read_back = false;
        record.message = named ? shown : kNotPlacedMessage;
        run.file_record(record);
    }
}

}  // namespace oakvane
