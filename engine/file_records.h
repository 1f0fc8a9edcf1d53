#pragma once
// The hosts' record of each card file (HostHooks::file_record): which backup copy came from
// which card file, and what the primary pass made of it. A plan runs the same steps, so a
// plan and a run's report describe a file alike.

#include "card_source.h"
#include "run.h"

#include <span>
#include <string>

namespace oakvane {

// A backup copy of the card file source is to be published as intended (maybe under a
// sequence-numbered name); then it was published, its final name the last of the backup list.
void note_backup_source(Run& run, const std::string& intended, const CardEntry& source);
void note_backup_published(Run& run, const std::string& intended);
// Once the backup list has its final paths (range folders renamed): keeps each copy's source.
void index_backup_sources(Run& run);

// The record of the backup copy at backup_path placed into the primary folder: its primary
// path (the DNG's for a converted raw), its sidecars and how it is checked.
FileRecord placed_record(const Run& run, const std::string& backup_path, const std::string& folder);

// Sends the host the records of a hidden card file (skipped), of a folder's files placed,
// and of files the run did not place because it ended with failure (the file the failure
// names gets its message; the others are noted as not placed).
void report_skipped(Run& run, const CardItem& item);
void report_placed(Run& run, std::span<const std::string> files, const std::string& folder);
void report_unplaced(Run& run, std::span<const std::string> files, const std::string& folder,
                     const Failure* failure);

}  // namespace oakvane
