#pragma once
// A card ingested again adds nothing: a card file whose backup copy an earlier run left
// intact is not copied again, and its image is not placed again where the primary tree
// already holds it. A file is only passed over once its bytes on the card have been read and
// hashed and its copies in the trees re-read and found to match: a backup that has rotted,
// or a card file that was changed, is copied anew.

#include "card_source.h"
#include "run.h"

#include <string>
#include <vector>

namespace oakvane {

// Reads the backup and primary trees' histories into the run's library index. A history
// that can't be read is said in the output list and left aside: every file is then copied.
void load_library_index(Run& run);

// Whether both trees' histories record the card file as ingested and its backup copy is
// still there at its size: a guess made before any byte is read, for the room a run needs.
// The run itself copies the file after all when its bytes tell otherwise.
bool likely_ingested(const Run& run, const CardEntry& file);

// Whether the backup tree's history records the card file item as ingested, under the card
// path it has now, its size and its hash, and that copy is still there intact; taken says so,
// and the copy then joins the backup list in place of a new one.
Status take_recorded_backup(Run& run, const CardItem& item, bool& taken);

// Whether the file at dest, the path the card file item's copy is to get, already holds its
// bytes (a failed run left it there and its history was never written); taken says so, and
// it then joins the backup list in place of a new copy. number_before: the automatic number
// before item's name was made.
Status take_backup_in_place(Run& run, const CardItem& item, const std::string& dest,
                            int number_before, bool& taken);

// Takes out of list the backup copies found in place whose image the primary tree already
// holds intact, counting them as already ingested and recording them for the host.
Status pass_over_placed(Run& run, std::vector<std::string>& list);

}  // namespace oakvane
