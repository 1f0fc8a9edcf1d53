#include "examples.h"

#include "name_codes.h"

#include <vector>

namespace oakvane {

std::string SampleForCode(char letter, const std::string& field_text)
{
    const std::optional<NamePart> part = name_part(letter);
    if (!part)
        return "???";
    switch (*part) {
    // The dialog gives each position one text field, behind "S"; the numbered text codes
    // of other formats have no field here to show.
    case NamePart::text: return letter == 'S' ? field_text : "???";
    case NamePart::date: return "20060226";
    case NamePart::date_time: return "20060226_142345";
    case NamePart::short_date: return "060226";
    case NamePart::short_date_time: return "060226_142345";
    case NamePart::file_name: return "DSC_1234";
    case NamePart::camera_number: return "1234";
    case NamePart::automatic_number: return "0001";
    case NamePart::unique_id: return "44074B649F4C8";
    case NamePart::nothing: return "";
    }
    return "???";
}

std::string BuildNameExample(const std::string& format, const std::array<std::string, 4>& texts,
                             bool keep_raw, bool verify_only)
{
    if (format.size() != 4)
        return "[bad fmt]";
    std::string name;
    bool unique = false;
    for (std::size_t field = 0; field < 4; ++field) {
        const char letter = format[field];
        const std::optional<NamePart> part = name_part(letter);
        unique = unique || (part && names_differ_by(*part));
        if (part != NamePart::nothing)
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
