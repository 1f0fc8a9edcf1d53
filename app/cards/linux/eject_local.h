#pragma once
// Ejecting a card with the kernel's own calls, where no disk service runs.

#include "eject_outcome.h"
#include "eject_target.h"

namespace oakvane {

// Unmounts the target (retrying while it is busy), then detaches a card image or asks the
// disk to eject its media; a disk that something else still holds (a mount in another mount
// namespace) is left alone and in use. Needs the right to unmount (root, as on the build
// machines). The detail holds the kernel's words for a step that failed.
EjectEnd eject_local(const EjectTarget& target, const EjectRetry& retry);

}  // namespace oakvane
