#pragma once
// The backup copy: every card file, under its new name and in its arranged folder,
// accepted only when the written file has the card file's size. Never overwrites; a copy
// gets its name only once it is whole and on stable storage.

#include "card_source.h"
#include "publish_batch.h"
#include "run.h"

#include <string>

namespace oakvane {

// The highest sequence number a backup copy may get when its name is taken.
inline constexpr int kMaxSequence = 999;

// Backs up one card entry when it is a regular file whose name does not begin with ".";
// a link or a special file fails. With a batch, copies are published when it flushes.
Status backup_visit(Run& run, const CardItem& item, PublishBatch* batch = nullptr);

// A batch that publishes backup copies as safe_copy_backup does.
PublishBatch backup_batch(Run& run);

// Backs up the card file item: it must still be the regular file listed, and its copy gets
// the listed size and modification time. The copy is published under its name, or the
// first free sequence-numbered one, and added to the backup list: at once, or when batch
// flushes. A failure leaves no unfinished file behind.
Status safe_copy_backup(Run& run, const CardItem& item, PublishBatch* batch = nullptr);

// path with the sequence number n (1 to 999) added to its file name: before a
// three-character extension (DSC_0001_001.NEF), else at the end (clip.jpeg_001).
std::string sequence_path(const std::string& path, int n);

}  // namespace oakvane
