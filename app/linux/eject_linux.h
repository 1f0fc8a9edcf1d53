#pragma once
// The choice between the disk service and the kernel's calls, open to tests on a private bus.

#include "eject_outcome.h"

#include <QDBusConnection>
#include <string>

namespace oakvane {

// eject_volume with the disk service looked for on bus and the given busy retries.
int eject_volume_on(const std::string& mount_point, const QDBusConnection& bus,
                    const EjectRetry& retry);

}  // namespace oakvane
