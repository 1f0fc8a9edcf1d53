#pragma once
// Ejecting a card through the desktop's disk service.

#include "eject_outcome.h"
#include "eject_target.h"
#include "udisks_client.h"

namespace oakvane {

// Unmounts the target's file system (retrying while the service reports it busy), then
// deletes a card image's loop device, or ejects the drive, or powers it off where it cannot
// eject. The detail holds the service's words for a step that failed.
EjectEnd eject_udisks(const UDisksClient& udisks, const EjectTarget& target,
                      const EjectRetry& retry);

}  // namespace oakvane
