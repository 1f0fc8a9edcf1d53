#pragma once
// Ending what is left of a converter's process group once the converter itself has exited.
// A converter may hand the end of its work to a process it started and exit 0 at once; the
// files that process had open are then cut short wherever it is ended.

#include <string>
#include <sys/types.h>
#include <vector>

namespace oakvane {

struct GroupEnd {
    // Files below the watched folder that a member of the group had open or mapped when it
    // was ended: whatever it was writing there is incomplete.
    std::vector<std::string> files_in_use;
    // Members still alive a while after SIGKILL (stuck in the kernel); they may still
    // finish a write.
    int survivors = 0;
    int kill_error = 0;  // errno of a failed kill of the group, ESRCH (no member left) aside
};

// Stops every process of group pgid, notes which files below watched (resolved, "" for
// none) they hold, and kills them all. The group's leader must not have been reaped yet,
// so that pgid can't have been given to another group meanwhile.
GroupEnd end_process_group(pid_t pgid, const std::string& watched);

}  // namespace oakvane
