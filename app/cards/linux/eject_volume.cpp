#include "eject.h"
#include "eject_linux.h"
#include "eject_local.h"
#include "eject_udisks.h"

namespace oakvane {

EjectReport eject_volume_on(const std::string& mount_point, const QDBusConnection& bus,
                            const EjectRetry& retry)
{
    std::string why;
    const auto target = find_eject_target(mount_point, why);
    if (!target)
        return {CardEject::refused, why};
    // An ordinary user may not unmount; the service may, and lets the desktop know.
    const UDisksClient udisks(bus);
    const EjectEnd end = udisks.service_present() ? eject_udisks(udisks, *target, retry)
                                                  : eject_local(*target, retry);
    return {eject_result(end.outcome) == 1 ? CardEject::done : CardEject::refused,
            eject_reason(end, target->mount_point)};
}

EjectReport eject_volume_report(const std::string& mount_point)
{
    return eject_volume_on(mount_point, QDBusConnection::systemBus(), EjectRetry{});
}

}  // namespace oakvane
