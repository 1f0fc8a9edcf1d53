#include "xml_text.h"

#include <charconv>

namespace oakvane {

namespace {

// The character UTF-8 encodes at text[pos], moving pos past it; nullopt for bytes that are
// no shortest encoding of a character.
std::optional<char32_t> decode_utf8(std::string_view text, std::size_t& pos)
{
    const auto lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80)
        return lead;
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
    if (extra == 0 || lead > 0xF4 || pos + extra > text.size())
        return std::nullopt;
    char32_t code = lead & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        const auto byte = static_cast<unsigned char>(text[pos++]);
        if ((byte & 0xC0) != 0x80)
            return std::nullopt;
        code = code << 6 | (byte & 0x3F);
    }
    constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (code < kLeast[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return std::nullopt;
    return code;
}

bool xml_character(char32_t code)
{
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || code >= 0x10000;
}

void append_utf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
        return;
    }
    const int extra = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[extra] | (code >> (6 * extra)));
    for (int shift = 6 * (extra - 1); shift >= 0; shift -= 6)
        out += static_cast<char>(0x80 | ((code >> shift) & 0x3F));
}

std::optional<char32_t> reference_value(std::string_view name)
{
    if (name == "amp")
        return U'&';
    if (name == "lt")
        return U'<';
    if (name == "gt")
        return U'>';
    if (name == "quot")
        return U'"';
    if (name == "apos")
        return U'\'';
    if (name.size() < 2 || name[0] != '#')
        return std::nullopt;
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    std::uint32_t code = 0;
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
        !xml_character(code))
        return std::nullopt;
    return code;
}

}  // namespace

std::optional<std::string> xml_escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        const std::optional<char32_t> code = decode_utf8(text, pos);
        if (!code || !xml_character(*code))
            return std::nullopt;
        switch (*code) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        // A reader turns a raw tab or line break in an attribute into a space, and a raw
        // carriage return anywhere into a line feed.
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default: out.append(text.substr(start, pos - start));
        }
    }
    return out;
}

std::optional<std::string> xml_unescaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t amp = text.find('&', pos);
        out.append(text.substr(pos, amp - pos));
        if (amp == std::string_view::npos)
            break;
        const std::size_t semicolon = text.find(';', amp);
        if (semicolon == std::string_view::npos)
            return std::nullopt;
        const std::string_view name = text.substr(amp + 1, semicolon - amp - 1);
        const std::optional<char32_t> code = reference_value(name);
        if (!code)
            return std::nullopt;
        append_utf8(out, *code);
        pos = semicolon + 1;
    }
    return out;
}

}  // namespace oakvane
