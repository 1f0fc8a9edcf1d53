#pragma once
// The choice between the disk service and the kernel's calls, open to tests on a private bus.

#include "eject.h"
#include "eject_outcome.h"

#include <QDBusConnection>
#include <string>

namespace oakvane {

// eject_volume_report with the disk service looked for on bus and the given busy retries.
EjectReport eject_volume_on(const std::string& mount_point, const QDBusConnection& bus,
                            const EjectRetry& retry);

}  // namespace oakvane
