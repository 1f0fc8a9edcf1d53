#pragma once
// The backup copy: every card file, under its new name and in its arranged folder,
// accepted only when the written file has the card file's size. Never overwrites; a copy
// gets its name only once it is whole and on stable storage.

#include "publish_batch.h"
#include "walk.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <sys/stat.h>

namespace oakvane {

// The highest sequence number a backup copy may get when its name is taken.
inline constexpr int kMaxSequence = 999;

// Walk visitor of the backup pass: backs up every regular file whose name does not begin
// with "."; -1 ends the walk when a copy failed or the entry may not be read (a link, a
// FIFO, ...; its error is recorded). With a batch, copies are published when it flushes.
int backup_visit(const posix::WalkEntry& entry, PublishBatch* batch = nullptr);

// A batch that publishes backup copies as safe_copy_backup does.
PublishBatch backup_batch();

// Backs up the card file at card_path (own name name) as the walk saw it in seen: it must
// still be that regular file, and its copy gets seen's size and modification time. The
// copy is published under its name, or the first free sequence-numbered one, and added
// to the backup list: at once, or when batch flushes. 1 when done (or handed to batch);
// 0 after a recorded error, with no unfinished file left behind.
int safe_copy_backup(const std::string& card_path, const std::string& name,
                     const struct stat& seen, PublishBatch* batch = nullptr);

// path with the sequence number n (1 to 999) added to its file name: before a
// three-character extension (DSC_0001_001.NEF), else at the end (clip.jpeg_001).
std::string sequence_path(const std::string& path, int n);

}  // namespace oakvane
