#include "mhl_chain.h"

#include "text_format.h"
#include "xml_text.h"

#include <charconv>

namespace oakvane {

namespace {

// One element found in the text: its start tag's attributes and its content.
struct Element {
    std::string_view attributes;
    std::string_view content;
};

bool name_char(char c)
{
    return c != '>' && c != '/' && c != ' ' && c != '\t' && c != '\n' && c != '\r';
}

// The name of the tag starting at xml[pos] (after '<' or '</'), without its prefix.
std::string_view local_name(std::string_view xml, std::size_t pos, std::size_t& end)
{
    end = pos;
    while (end < xml.size() && name_char(xml[end]))
        ++end;
    std::string_view name = xml.substr(pos, end - pos);
    if (const std::size_t colon = name.find(':'); colon != std::string_view::npos)
        name.remove_prefix(colon + 1);
    return name;
}

// Where the next start tag of an element called local (any prefix) begins, at or after pos.
std::size_t find_start_tag(std::string_view xml, std::string_view local, std::size_t pos,
                           std::size_t& name_end)
{
    for (std::size_t open = xml.find('<', pos); open != std::string_view::npos;
         open = xml.find('<', open + 1))
        if (local_name(xml, open + 1, name_end) == local)
            return open;
    return std::string_view::npos;
}

// The next element called local at or after pos, moving pos past it; nullopt when there is
// none or it isn't closed. Elements of one name don't nest in a chain.
std::optional<Element> next_element(std::string_view xml, std::string_view local, std::size_t& pos)
{
    std::size_t name_end = 0;
    if (find_start_tag(xml, local, pos, name_end) == std::string_view::npos)
        return std::nullopt;
    const std::size_t tag_end = xml.find('>', name_end);
    if (tag_end == std::string_view::npos)
        return std::nullopt;
    Element element{xml.substr(name_end, tag_end - name_end), {}};
    if (xml[tag_end - 1] == '/') {  // an empty element
        pos = tag_end + 1;
        return element;
    }
    for (std::size_t close = xml.find("</", tag_end); close != std::string_view::npos;
         close = xml.find("</", close + 2)) {
        std::size_t close_end = 0;
        if (local_name(xml, close + 2, close_end) == local) {
            element.content = xml.substr(tag_end + 1, close - tag_end - 1);
            pos = close_end;
            return element;
        }
    }
    return std::nullopt;
}

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

std::optional<ChainEntry> read_entry(const Element& hashlist)
{
    std::size_t pos = 0;
    const std::optional<Element> path = next_element(hashlist.content, "path", pos);
    pos = 0;
    const std::optional<Element> c4 = next_element(hashlist.content, "c4", pos);
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
    const std::optional<Element> directory = next_element(xml, "ascmhldirectory", pos);
    if (!directory)
        return fail("Unreadable MHL chain");
    entries.clear();
    pos = 0;
    const std::string_view content = directory->content;
    while (const std::optional<Element> hashlist = next_element(content, "hashlist", pos)) {
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
