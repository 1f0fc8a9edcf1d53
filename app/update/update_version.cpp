#include "update_version.h"

#ifndef OAKVANE_VERSION
#error "OAKVANE_VERSION must be defined by the build (the project's version)"
#endif

namespace oakvane {

std::string normalise_version(std::string_view raw)
{
    std::string version;
    for (const char c : raw) {
        if (c == ' ' || c == '\t')
            continue;
        version += c == ',' ? '.' : c;
    }
    return version.empty() ? "?" : version;
}

std::string program_version() { return normalise_version(OAKVANE_VERSION); }

}  // namespace oakvane
