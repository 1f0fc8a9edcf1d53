#include "preferences.h"

#include <QStandardPaths>

namespace oakvane {

PrefsLocation default_location()
{
    const std::string config =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString();
    // Without a configuration folder the preferences still work, beside the working folder.
    const std::string root = config.empty() ? "./Oakvane" : config + "/Oakvane";
    return {root, root + "/Oakvane.ini",
            config.empty() ? "." : root + "/Metadata Templates"};
}

}  // namespace oakvane
