#include "run_texts.h"

#include <cstdio>

namespace oakvane {

std::string ingestion_time_text(long elapsed)
{
    char text[200];
    std::snprintf(text, sizeof text, "Ingestion time: %d min. %d sec.\n",
                  static_cast<int>(elapsed / 60), static_cast<int>(elapsed % 60));
    return text;
}

std::string launching_text(const std::string& viewer, const std::string* folder)
{
    std::string text = "\nLaunching " + viewer;
    if (folder)
        text += " with folder " + *folder;
    return text + "\n";
}

}  // namespace oakvane
