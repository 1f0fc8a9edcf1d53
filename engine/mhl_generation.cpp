#include "mhl_generation.h"

#include "text_format.h"
#include "xml_text.h"

#include <algorithm>
#include <climits>

namespace oakvane {

namespace {

constexpr const char* kCardNamespace = "urn:oakvane:card";

// The UTC calendar time of t, for the years four digits can write.
std::optional<std::tm> utc(std::time_t t)
{
    std::tm tm{};
    if (::gmtime_r(&t, &tm) == nullptr || tm.tm_year + 1900 < 1000 || tm.tm_year + 1900 > 9999)
        return std::nullopt;
    return tm;
}

// An xs:dateTime with its zone, as "2026-12-08T01:23:45+00:00".
std::optional<std::string> xml_date(std::time_t t)
{
    const std::optional<std::tm> tm = utc(t);
    if (!tm)
        return std::nullopt;
    return format("%04d-%02d-%02dT%02d:%02d:%02d+00:00", tm->tm_year + 1900, tm->tm_mon + 1,
                  tm->tm_mday, tm->tm_hour, tm->tm_min, tm->tm_sec);
}

bool is_xxh128(const std::string& hash)
{
    return hash.size() == 32 && std::all_of(hash.begin(), hash.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// Appends "<tag>value</tag>" on a line of its own.
Status append_element(std::string& text, int indent, std::string_view tag, std::string_view value)
{
    const std::optional<std::string> escaped = xml_escaped(value);
    if (!escaped)
        return fail("Name not writable in the MHL history", std::string(value));
    text.append(indent, ' ').append("<").append(tag).append(">");
    text.append(*escaped).append("</").append(tag).append(">\n");
    return {};
}

Status append_creator(const MhlGeneration& generation, const std::string& date, std::string& text)
{
    const std::optional<std::string> version = xml_escaped(generation.tool_version);
    if (!version)
        return fail("Version not writable in the MHL history", generation.tool_version);
    text += "  <creatorinfo>\n    <creationdate>" + date + "</creationdate>\n";
    if (Status added = append_element(text, 4, "hostname", generation.host_name); !added)
        return added;
    text += "    <tool version=\"" + *version + "\">Oakvane</tool>\n  </creatorinfo>\n";
    return {};
}

void append_process(std::string& text)
{
    text += "  <processinfo>\n    <process>transfer</process>\n    <ignore>\n";
    for (std::string_view pattern : kMhlIgnored)
        text.append("      <pattern>").append(pattern).append("</pattern>\n");
    text += "    </ignore>\n  </processinfo>\n";
}

Status append_hash(const MhlFile& file, const std::string& hash_date, std::string& text)
{
    const std::optional<std::string> path = xml_escaped(file.relative_path);
    const std::optional<std::string> modified = xml_date(file.modified);
    if (file.relative_path.empty() || file.relative_path.front() == '/')
        return fail("Not a path below the tree's root", file.relative_path);
    if (!path)
        return fail("Name not writable in the MHL history", file.relative_path);
    if (!modified)
        return fail("Modification date not writable in the MHL history", file.relative_path);
    if (!is_xxh128(file.xxh128))
        return fail("Not an xxh128 hash: \"" + file.xxh128 + "\"", file.relative_path);
    text += format("    <hash>\n      <path size=\"%llu\" lastmodificationdate=\"%s\">",
                   static_cast<unsigned long long>(file.size), modified->c_str());
    text += *path + "</path>\n";
    text += "      <xxh128 action=\"original\" hashdate=\"" + hash_date + "\">" + file.xxh128 +
            "</xxh128>\n";
    // A sidecar made from the metadata template comes from no card file.
    if (!file.card_path.empty()) {
        text += "      <metadata>\n";
        if (Status added = append_element(text, 8, "oakvane:cardfile", file.card_path); !added)
            return added;
        text += "      </metadata>\n";
    }
    text += "    </hash>\n";
    return {};
}

}  // namespace

std::optional<std::string> generation_name(int number, std::string_view root_name,
                                           std::time_t created)
{
    const std::optional<std::tm> tm = utc(created);
    if (!tm)
        return std::nullopt;
    const std::string date =
        format("_%04d-%02d-%02d_%02d%02d%02dZ.mhl", tm->tm_year + 1900, tm->tm_mon + 1,
               tm->tm_mday, tm->tm_hour, tm->tm_min, tm->tm_sec);
    const std::string prefix = format("%04d_", number);
    // A root folder's name may use all of NAME_MAX itself; the generation must still get a
    // name, so the folder's part is cut, at a character's start.
    const std::size_t room = std::size_t(NAME_MAX) - prefix.size() - date.size();
    std::size_t keep = std::min(root_name.size(), room);
    while (keep < root_name.size() && (static_cast<unsigned char>(root_name[keep]) & 0xC0) == 0x80)
        --keep;
    return prefix + std::string(root_name.substr(0, keep)) + date;
}

Status generation_text(const MhlGeneration& generation, std::string& text)
{
    const std::optional<std::string> date = xml_date(generation.created);
    if (!date)
        return fail("Run date not writable in the MHL history");
    text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<hashlist version=\"2.0\" "
           "xmlns=\"urn:ASC:MHL:v2.0\" xmlns:oakvane=\"";
    text += std::string(kCardNamespace) + "\">\n";
    if (Status added = append_creator(generation, *date, text); !added)
        return added;
    append_process(text);
    // The schema wants at least one hash in a hashes element: a run that placed nothing
    // has none.
    if (!generation.files.empty()) {
        text += "  <hashes>\n";
        for (const MhlFile& file : generation.files)
            if (Status added = append_hash(file, *date, text); !added)
                return added;
        text += "  </hashes>\n";
    }
    text += "</hashlist>\n";
    return {};
}

}  // namespace oakvane
