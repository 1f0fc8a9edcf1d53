#include "examples.h"

#include <cstring>
#include <vector>

namespace oakvane {

std::string SampleForCode(char letter, const std::string& field_text)
{
    switch (letter) {
    case 'S': return field_text;
    case 'D': return "20060226";
    case 'T': return "20060226_142345";
    case 'd': return "060226";
    case 't': return "060226_142345";
    case 'F': return "DSC_1234";
    case 'N': return "1234";
    case 'A': return "0001";
    case 'U': return "44074B649F4C8";
    case 'E': return "";
    default: return "???";
    }
}

namespace {

// Letters that make every name different by themselves, so no sequence number is needed.
bool is_unique_code(char letter) { return letter != '\0' && std::strchr("AFNTUt", letter); }

}  // namespace

std::string BuildNameExample(const std::string& format, const std::array<std::string, 4>& texts,
                             bool keep_raw, bool verify_only)
{
    if (format.size() != 4)
        return "[bad fmt]";
    std::string name;
    bool unique = false;
    for (std::size_t field = 0; field < 4; ++field) {
        const char letter = format[field];
        unique = unique || is_unique_code(letter);
        if (letter != 'E')
            name += "_" + SampleForCode(letter, texts[field]);
    }
    name += keep_raw && !verify_only ? ".DNG" : ".NEF";
    // Every field adds a separator before it; only the one in front of the name goes.
    name.erase(0, name.find_first_not_of(' '));
    if (!name.empty() && name.front() == '_')
        name.erase(0, 1);
    if (name == ".DNG" || name == ".NEF")
        name = SampleForCode('F', "") + name;
    if (!unique)
        name += "    (Sequence numbers will be appended as needed.)";
    return name;
}

std::string BuildArrangementExample(int arrangement, bool date, bool user, bool range,
                                    const std::string& primary_folder)
{
    std::string tree = primary_folder;
    int depth = 0;
    auto add = [&](const char* text) {
        tree += "\r\n" + std::string(4 * depth, ' ') + text;
    };
    std::vector<const char*> date_folders;
    if (date && arrangement == 1)
        date_folders = {"2006-06-12"};
    else if (date && arrangement == 2)
        date_folders = {"2006", "2006-06-12"};
    else if (date && arrangement == 3)
        date_folders = {"2006", "06", "2006-06-12"};
    for (const char* folder : date_folders) {
        ++depth;
        add(folder);
    }
    if (user) {
        ++depth;
        add("Job X Images");
    }
    if (range) {
        ++depth;
        add("0420-0511");
    }
    ++depth;
    for (const char* image : {"Image 1", "Image 2", "..."})
        add(image);
    return tree;
}

}  // namespace oakvane
