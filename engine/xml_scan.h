#pragma once
// A small scanner for the XML that ASC MHL histories hold: elements found by their local
// name (whatever prefix a tool gave them), their attributes and their content. It reads the
// files of this tool and of others; it is no validating parser, and never needs to be: every
// value taken from it is checked again by whoever uses it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace oakvane {

// One element found in the text: its start tag's attributes and its content.
struct XmlElement {
    std::string_view name;  // the local name, without prefix
    std::string_view attributes;
    std::string_view content;  // "" for an empty element
};

// Where the next start tag of an element called local (any prefix) begins, at or after pos;
// npos when there is none. name_end is set past its name.
std::size_t find_start_tag(std::string_view xml, std::string_view local, std::size_t pos,
                           std::size_t& name_end);

// The next element called local at or after pos, moving pos past it; nullopt when there is
// none or it isn't closed. Elements of one name must not nest.
std::optional<XmlElement> next_element(std::string_view xml, std::string_view local, std::size_t& pos);

// The next element of any name at or after pos (comments, declarations and closing tags
// passed over), moving pos past it; nullopt when there is none.
std::optional<XmlElement> next_child(std::string_view xml, std::size_t& pos);

// The value of the attribute called name (no prefix) in attributes, unescaped; nullopt when
// it is missing or unreadable.
std::optional<std::string> attribute(std::string_view attributes, std::string_view name);

}  // namespace oakvane
