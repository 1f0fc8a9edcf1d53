#pragma once
// The backup copy: every card file, under its new name and in its arranged folder,
// accepted only when the written file has the card file's size. Never overwrites.

#include "walk.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <sys/stat.h>

namespace oakvane {

// Walk visitor of the backup pass: backs up every regular file whose name does not begin
// with "."; -1 ends the walk when a copy failed or the entry may not be read (a link, a
// FIFO, ...; its error is recorded).
int backup_visit(const posix::WalkEntry& entry);

// Backs up the card file at card_path (own name name) as the walk saw it in seen: it must
// still be that regular file, and its copy gets seen's size and modification time.
// 1 when the copy is in the backup tree, in the backup list and verified by size; 0 after
// a recorded error, with no unfinished file left behind.
int safe_copy_backup(const std::string& card_path, const std::string& name,
                     const struct stat& seen);

// path with the sequence number n (1 to 999) added to its file name: before a
// three-character extension (DSC_0001_001.NEF), else at the end (clip.jpeg_001).
std::string sequence_path(const std::string& path, int n);

// Creates path, or the first of its sequence-numbered names that is free, exclusively,
// and sets path to the name used. Returns the open descriptor, or -1 (errno 0 when all
// 999 sequence numbers are taken).
int create_unique(std::string& path, int mode);

}  // namespace oakvane
