#include "mhl_chain.h"

#include "text_format.h"
#include "xml_scan.h"
#include "xml_text.h"

#include <charconv>

namespace oakvane {

namespace {

// The sequencenr attribute's value; nullopt when it is missing or no number.
std::optional<int> sequence_number(std::string_view attributes)
{
    const std::size_t at = attributes.find("sequencenr");
    const std::size_t quote = attributes.find_first_of("\"'", at);
    if (at == std::string_view::npos || quote == std::string_view::npos)
        return std::nullopt;
    int number = 0;
    const char* first = attributes.data() + quote + 1;
    const char* last = attributes.data() + attributes.size();
    const auto [end, ec] = std::from_chars(first, last, number);
    if (ec != std::errc() || end == first || end == last || *end != attributes[quote])
        return std::nullopt;
    return number;
}

std::optional<ChainEntry> read_entry(const XmlElement& hashlist)
{
    std::size_t pos = 0;
    const std::optional<XmlElement> path = next_element(hashlist.content, "path", pos);
    pos = 0;
    const std::optional<XmlElement> c4 = next_element(hashlist.content, "c4", pos);
    if (!path || !c4)
        return std::nullopt;
    std::optional<std::string> path_text = xml_unescaped(path->content);
    std::optional<std::string> c4_text = xml_unescaped(c4->content);
    if (!path_text || !c4_text)
        return std::nullopt;
    // The number may be left out; the generation's name has it too.
    std::optional<int> number = sequence_number(hashlist.attributes);
    if (!number)
        number = generation_number(*path_text);
    if (!number)
        return std::nullopt;
    return ChainEntry{*number, std::move(*path_text), std::move(*c4_text)};
}

}  // namespace

Status read_chain(std::string_view xml, std::vector<ChainEntry>& entries)
{
    std::size_t pos = 0;
    const std::optional<XmlElement> directory = next_element(xml, "ascmhldirectory", pos);
    if (!directory)
        return fail("Unreadable MHL chain");
    entries.clear();
    pos = 0;
    const std::string_view content = directory->content;
    while (const std::optional<XmlElement> hashlist = next_element(content, "hashlist", pos)) {
        std::optional<ChainEntry> entry = read_entry(*hashlist);
        if (!entry)
            return fail("Unreadable MHL chain entry");
        entries.push_back(std::move(*entry));
    }
    std::size_t name_end = 0;
    if (find_start_tag(content, "hashlist", pos, name_end) != std::string_view::npos)
        return fail("Unreadable MHL chain entry");
    return {};
}

std::optional<std::string> chain_text(const std::vector<ChainEntry>& entries)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<ascmhldirectory xmlns=\"urn:ASC:MHL:DIRECTORY:v2.0\">\n";
    for (const ChainEntry& entry : entries) {
        const std::optional<std::string> path = xml_escaped(entry.path);
        const std::optional<std::string> c4 = xml_escaped(entry.c4);
        if (!path || !c4)
            return std::nullopt;
        text += format("  <hashlist sequencenr=\"%d\">\n", entry.number);
        text += "    <path>" + *path + "</path>\n    <c4>" + *c4 + "</c4>\n  </hashlist>\n";
    }
    return text + "</ascmhldirectory>\n";
}

std::optional<int> generation_number(std::string_view name)
{
    int number = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (ec != std::errc() || end == name.data() || end == name.data() + name.size() ||
        *end != '_' || number < 1 || !name.ends_with(".mhl"))
        return std::nullopt;
    return number;
}

}  // namespace oakvane
