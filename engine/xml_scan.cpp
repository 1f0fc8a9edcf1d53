#include "xml_scan.h"

#include "xml_text.h"

namespace oakvane {

namespace {

bool name_char(char c)
{
    return c != '>' && c != '/' && c != ' ' && c != '\t' && c != '\n' && c != '\r';
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

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

// The element whose start tag begins at open; nullopt when it isn't closed.
std::optional<XmlElement> element_at(std::string_view xml, std::size_t open, std::size_t& pos)
{
    std::size_t name_end = 0;
    const std::string_view local = local_name(xml, open + 1, name_end);
    const std::size_t tag_end = xml.find('>', name_end);
    if (tag_end == std::string_view::npos)
        return std::nullopt;
    XmlElement element{local, xml.substr(name_end, tag_end - name_end), {}};
    if (xml[tag_end - 1] == '/') {  // an empty element
        element.attributes.remove_suffix(1);
        pos = tag_end + 1;
        return element;
    }
    for (std::size_t close = xml.find("</", tag_end); close != std::string_view::npos;
         close = xml.find("</", close + 2)) {
        std::size_t close_end = 0;
        if (local_name(xml, close + 2, close_end) == local) {
            element.content = xml.substr(tag_end + 1, close - tag_end - 1);
            const std::size_t after = xml.find('>', close_end);
            pos = after == std::string_view::npos ? xml.size() : after + 1;
            return element;
        }
    }
    return std::nullopt;
}

}  // namespace

std::size_t find_start_tag(std::string_view xml, std::string_view local, std::size_t pos,
                           std::size_t& name_end)
{
    for (std::size_t open = xml.find('<', pos); open != std::string_view::npos;
         open = xml.find('<', open + 1))
        if (local_name(xml, open + 1, name_end) == local)
            return open;
    return std::string_view::npos;
}

std::optional<XmlElement> next_element(std::string_view xml, std::string_view local, std::size_t& pos)
{
    std::size_t name_end = 0;
    const std::size_t open = find_start_tag(xml, local, pos, name_end);
    if (open == std::string_view::npos)
        return std::nullopt;
    return element_at(xml, open, pos);
}

std::optional<XmlElement> next_child(std::string_view xml, std::size_t& pos)
{
    for (std::size_t open = xml.find('<', pos); open != std::string_view::npos;
         open = xml.find('<', open + 1)) {
        if (open + 1 >= xml.size())
            return std::nullopt;
        const char first = xml[open + 1];
        if (first == '/' || first == '!' || first == '?')
            continue;
        return element_at(xml, open, pos);
    }
    return std::nullopt;
}

std::optional<std::string> attribute(std::string_view attributes, std::string_view name)
{
    for (std::size_t at = attributes.find(name); at != std::string_view::npos;
         at = attributes.find(name, at + 1)) {
        // The whole name, or the part after a prefix: "size" must not match "filesize".
        const bool starts = at == 0 || blank(attributes[at - 1]) || attributes[at - 1] == ':';
        std::size_t eq = at + name.size();
        while (eq < attributes.size() && blank(attributes[eq]))
            ++eq;
        if (!starts || eq >= attributes.size() || attributes[eq] != '=')
            continue;
        const std::size_t quote = attributes.find_first_of("\"'", eq);
        if (quote == std::string_view::npos)
            return std::nullopt;
        const std::size_t end = attributes.find(attributes[quote], quote + 1);
        if (end == std::string_view::npos)
            return std::nullopt;
        return xml_unescaped(attributes.substr(quote + 1, end - quote - 1));
    }
    return std::nullopt;
}

}  // namespace oakvane
