#include "ingested.h"

#include "card_file.h"
#include "file_kinds.h"
#include "file_records.h"
#include "fs_util.h"
#include "mhl_read.h"
#include "name_codes.h"
#include "naming.h"
#include "primary_copy.h"
#include "read_back.h"
#include "xxh128.h"

#include <algorithm>
#include <sys/stat.h>

namespace oakvane {

namespace {

class HashingSink : public ChunkSink {
public:
    Status write(const char* data, std::size_t size) override
    {
        m_hash.update(data, size);
        return {};
    }
    std::string hex() const { return m_hash.hex(); }

private:
    Xxh128 m_hash;
};

// The copies a history lists with the card file they came from and their xxh128 hash, as
// this tool's runs record them; a file's later listing replaces an earlier one.
std::map<std::string, RecordedCopy> recorded_copies(const std::vector<MhlListing>& generations,
                                                    const std::string& root)
{
    std::map<std::string, RecordedCopy> copies;
    for (const MhlListing& generation : generations)
        for (const MhlListed& file : generation.files)
            for (const MhlHash& hash : file.hashes)
                if (hash.type == "xxh128" && hash.action != "failed" && !file.card_path.empty() &&
                    file.size)
                    copies[root + "/" + file.path] = {root + "/" + file.path, *file.size, hash.value,
                                                      file.card_path};
    return copies;
}

bool read_tree_history(Run& run, const std::string& root, std::map<std::string, RecordedCopy>& copies)
{
    std::vector<MhlListing> generations;
    if (Status read = read_history(root, generations); !read) {
        run.output("The history of " + root + " can't be read, so every card file is copied anew: " +
                   read.failure().text() + "\n");
        return false;
    }
    copies = recorded_copies(generations, root);
    return true;
}

// Whether the history's card path names the card file now at card_path: the same path, or
// the same path below the card folder (a card may be mounted elsewhere the next time).
bool same_card_file(const std::string& recorded, const std::string& card_path,
                    const std::string& relative)
{
    return recorded == card_path ||
           (!relative.empty() && recorded.size() > relative.size() && recorded.ends_with(relative) &&
            recorded[recorded.size() - relative.size() - 1] == '/');
}

bool regular_of_size(const std::string& path, std::uint64_t size)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           static_cast<std::uint64_t>(st.st_size) == size;
}

Status hash_card_file(Run& run, const CardItem& item, std::string& hash)
{
    HashingSink sink;
    if (Status read = run.card.read(run, item, sink); !read)
        return read;
    hash = sink.hex();
    return {};
}

// Whether the file at path, re-read from the disk, has hash; a file that can't be read
// is not taken as intact, and says why.
Status reads_as(Run& run, const std::string& path, const std::string& hash, bool& intact)
{
    const ReadBack back = read_back_file(path, run.copy_buffer, [&run] { return run.stop_requested(); });
    if (back.stopped)
        return stopped();
    if (back.err != 0)
        run.diagnostic("can't re-read " + path + ": " + std::to_string(back.err));
    intact = back.err == 0 && back.hash == hash;
    return {};
}

bool uses_automatic_number(const Run& run)
{
    for (char code : run.request.name_format.substr(0, 4))
        if (name_part(code) == NamePart::automatic_number)
            return true;
    return false;
}

// A copy found in place keeps the automatic number the run gave it only where that number
// is in its name: a retry after a failed run then names the rest as the failed run would
// have, while a card ingested again does not move the number on.
void settle_number(Run& run, int number_before, const std::string& name, const std::string& found)
{
    if (!uses_automatic_number(run) || name != file_name_of(found))
        run.running_number = number_before;
}

void take_found(Run& run, const CardItem& item, const std::string& path, const std::string& hash,
                bool recorded)
{
    run.backups.push_back(path);
    run.backup_sources.resize(run.backups.size() - 1);
    run.backup_sources.push_back({item.path, static_cast<std::uint64_t>(item.st.st_size), hash});
    run.library.found_backups[item.path] = {item.path, item.relative, recorded};
    run.library.taken_backups.insert(path);
    if (has_card_sidecar(run, item.path))
        run.own_sidecar_copies.insert(path);
    // Its history never listed it: this run's generation does, now that it was checked.
    if (!recorded)
        run.note_published(path, hash, item.path);
    run.step();
}

// The recorded backup copies that may be item's: same card file and size, still there.
std::vector<RecordedCopy> recorded_candidates(const Run& run, const CardItem& item)
{
    std::vector<RecordedCopy> candidates;
    const auto size = static_cast<std::uint64_t>(item.st.st_size);
    const auto [first, last] = run.library.backups_by_card_name.equal_range(std::string(item.name()));
    for (auto it = first; it != last; ++it)
        if (it->second.size == size && same_card_file(it->second.card_path, item.path, item.relative) &&
            !run.library.taken_backups.contains(it->second.path) && regular_of_size(it->second.path, size))
            candidates.push_back(it->second);
    return candidates;
}

// Whether the primary tree got the image of the backup copy found in place at primary: its
// history records a copy with the card file's hash there, or the DNG an earlier run made of
// it. What became of it since is the photographer's doing (a picture culled, metadata
// written into it) and is left alone; the backup copy was re-read, so the card holds nothing
// the library lacks. A copy the history never listed counts only when it has the card file's
// bytes (a failed run's history was never written).
Status in_primary(Run& run, const std::string& primary, const CardEntry& source, const FoundBackup& found,
                  bool dng, bool& placed)
{
    placed = false;
    const auto recorded = run.library.primaries.find(primary);
    if (recorded == run.library.primaries.end()) {
        if (dng || !regular_of_size(primary, source.size))
            return {};
        if (Status read = reads_as(run, primary, source.hash, placed); !read || !placed)
            return read;
        run.note_published(primary, source.hash, source.path);
        return {};
    }
    const RecordedCopy& copy = recorded->second;
    placed = same_card_file(copy.card_path, found.card_path, found.card_relative) &&
             (dng || copy.hash == source.hash);
    return {};
}

FileRecord ingested_record(const Run& run, const std::string& backup, const std::string& primary)
{
    FileRecord record = placed_record(run, backup, folder_of(primary));
    record.primary_path = primary;
    if (!path_exists(record.primary_sidecar))
        record.primary_sidecar.clear();
    if (!path_exists(record.backup_sidecar))
        record.backup_sidecar.clear();
    record.check = FileCheck::already_ingested;
    record.read_back = false;  // the backup copy was re-read; the primary one is not
    return record;
}

}  // namespace

void load_library_index(Run& run)
{
    std::map<std::string, RecordedCopy> backups;
    if (read_tree_history(run, run.request.backup_folder, backups))
        for (auto& [path, copy] : backups)
            run.library.backups_by_card_name.emplace(file_name_of(copy.card_path), std::move(copy));
    if (!read_tree_history(run, run.request.primary_folder, run.library.primaries))
        run.library.primaries.clear();
    for (const auto& [path, copy] : run.library.primaries)
        run.library.primary_card_paths.emplace(file_name_of(copy.card_path), copy.card_path);
}

bool likely_ingested(const Run& run, const CardEntry& file)
{
    const std::string name = file_name_of(file.path);
    const std::string& card = run.card.folder();
    const std::string relative = is_below(file.path, card) ? file.path.substr(card.size() + 1) : "";
    const auto [first, last] = run.library.backups_by_card_name.equal_range(name);
    const bool backed_up = std::any_of(first, last, [&](const auto& entry) {
        const RecordedCopy& copy = entry.second;
        return copy.size == file.size && same_card_file(copy.card_path, file.path, relative) &&
               regular_of_size(copy.path, file.size);
    });
    const auto [from, to] = run.library.primary_card_paths.equal_range(name);
    return backed_up && std::any_of(from, to, [&](const auto& entry) {
               return same_card_file(entry.second, file.path, relative);
           });
}

Status take_recorded_backup(Run& run, const CardItem& item, bool& taken)
{
    taken = false;
    const std::vector<RecordedCopy> candidates = recorded_candidates(run, item);
    if (candidates.empty())
        return {};
    std::string hash;
    if (Status read = hash_card_file(run, item, hash); !read)
        return read;
    for (const RecordedCopy& copy : candidates) {
        if (copy.hash != hash)
            continue;
        bool intact = false;
        if (Status read = reads_as(run, copy.path, hash, intact); !read)
            return read;
        if (!intact) {
            run.output("Backup copy no longer matches its history, the card file is copied again: \"" +
                       copy.path + "\"\n");
            continue;
        }
        const int number_before = run.running_number;
        std::string number_text;
        const std::string name = make_image_file_name(run, item.name(), item.st.st_mtim.tv_sec, number_text);
        settle_number(run, number_before, name, copy.path);
        take_found(run, item, copy.path, hash, true);
        taken = true;
        return {};
    }
    return {};
}

Status take_backup_in_place(Run& run, const CardItem& item, const std::string& dest,
                            int number_before, bool& taken)
{
    taken = false;
    if (!regular_of_size(dest, static_cast<std::uint64_t>(item.st.st_size)) ||
        run.library.taken_backups.contains(dest))
        return {};
    std::string hash;
    if (Status read = hash_card_file(run, item, hash); !read)
        return read;
    bool same = false;
    if (Status read = reads_as(run, dest, hash, same); !read || !same)
        return read;
    settle_number(run, number_before, file_name_of(dest), dest);
    take_found(run, item, dest, hash, false);
    taken = true;
    return {};
}

Status pass_over_placed(Run& run, std::vector<std::string>& list)
{
    std::vector<std::string> rest;
    for (const std::string& backup : list) {
        const auto source = run.source_of_backup.find(backup);
        const auto found = source == run.source_of_backup.end()
                               ? run.library.found_backups.end()
                               : run.library.found_backups.find(source->second.path);
        bool placed = false;
        std::string primary;
        if (found != run.library.found_backups.end()) {
            const std::string folder = primary_folder_of(run, backup);
            primary = folder + "/" + file_name_of(backup);
            if (Status looked = in_primary(run, primary, source->second, found->second, false, placed); !looked)
                return looked;
            if (!placed && is_raw_file(backup)) {
                primary = folder + "/" + dng_name_of(backup);
                if (Status looked = in_primary(run, primary, source->second, found->second, true, placed); !looked)
                    return looked;
            }
        }
        if (!placed) {
            rest.push_back(backup);
            continue;
        }
        ++run.counts.already_ingested;
        run.file_record(ingested_record(run, backup, primary));
    }
    list.swap(rest);
    return {};
}

}  // namespace oakvane
