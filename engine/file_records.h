#pragma once
// The hosts' record of each card file (HostHooks::file_record): which backup copy came from
// which card file, and what the primary pass made of it. The plan fills its records with the
// same code, so that a plan and a run's report describe a file alike.

#include "engine.h"
#include "run_state.h"
#include "walk.h"

#include <span>
#include <string>

namespace oakvane {

// The DNG name the converter gives the raw at path ("IMG_0001.dng").
std::string dng_name_of(const std::string& path);
// Whether the primary copy of path is decoded as a JPEG.
bool is_jpeg_path(const std::string& path);

// A backup copy of the card file source is to be published as intended (maybe under a
// sequence-numbered name); then it was published, its final name the last of the backup list.
void note_backup_source(const std::string& intended, const CardEntry& source);
void note_backup_published(const std::string& intended);
// Once the backup list has its final paths (range folders renamed): keeps each copy's source.
void index_backup_sources();

// The record of the backup copy at backup_path placed into the primary folder: its primary
// path (the DNG's for a converted raw), its sidecars and how it is checked.
FileRecord placed_record(const std::string& backup_path, const std::string& folder,
                         const CardEntry& source);

// Sends the host the records of a hidden card file (skipped), of a folder's files placed,
// and of files the run did not place because it ended with message (the file the message
// names gets it; the others are noted as not placed).
void report_skipped(const posix::WalkEntry& entry);
void report_placed(std::span<const std::string> files, const std::string& folder);
void report_unplaced(std::span<const std::string> files, const std::string& folder,
                     const std::string& message);

}  // namespace oakvane
