#include "mhl_read.h"

#include "dirlist.h"
#include "mhl_chain.h"
#include "mhl_history.h"
#include "whole_file.h"
#include "xml_scan.h"
#include "xml_text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>

namespace oakvane {

namespace {

// The hash elements a generation may hold for a file; directory hashes are left aside.
constexpr std::string_view kHashTypes[] = {"xxh128", "xxh64", "xxh3", "md5", "sha1", "c4"};

bool is_hash_type(std::string_view name)
{
    return std::find(std::begin(kHashTypes), std::end(kHashTypes), name) != std::end(kHashTypes);
}

std::optional<std::uint64_t> size_of(std::string_view attributes)
{
    const std::optional<std::string> text = attribute(attributes, "size");
    std::uint64_t size = 0;
    if (!text)
        return std::nullopt;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), size);
    if (ec != std::errc() || end != text->data() + text->size())
        return std::nullopt;
    return size;
}

std::string trimmed_lower(std::string_view text)
{
    std::string out;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Whether path names a file below the history's root: no leading "/", no "." or ".."
// component. A history that points elsewhere could otherwise vouch for a file outside its
// tree, even for the card file itself.
bool below_root(std::string_view path)
{
    if (path.empty() || path.front() == '/')
        return false;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

// The card file recorded in a hash element's metadata, "" when there is none.
std::string card_path_in(std::string_view metadata)
{
    std::size_t pos = 0;
    const std::optional<XmlElement> card = next_element(metadata, "cardfile", pos);
    if (!card)
        return {};
    return xml_unescaped(card->content).value_or(std::string());
}

Status read_hash(const XmlElement& hash, MhlListed& file)
{
    std::size_t pos = 0;
    bool has_path = false;
    while (const std::optional<XmlElement> child = next_child(hash.content, pos)) {
        if (child->name == "path") {
            const std::optional<std::string> path = xml_unescaped(child->content);
            if (!path || !below_root(*path))
                return fail("Not a path below the history's root: \"" + path.value_or("") + "\"");
            file.path = *path;
            file.size = size_of(child->attributes);
            has_path = true;
        } else if (is_hash_type(child->name)) {
            file.hashes.push_back({std::string(child->name), trimmed_lower(child->content),
                                   attribute(child->attributes, "action").value_or("")});
        } else if (child->name == "metadata") {
            file.card_path = card_path_in(child->content);
        }
    }
    if (!has_path)
        return fail("A hash without a path in an MHL generation");
    return {};
}

void read_ignored(std::string_view xml, MhlListing& listing)
{
    std::size_t pos = 0;
    const std::optional<XmlElement> ignore = next_element(xml, "ignore", pos);
    if (!ignore)
        return;
    pos = 0;
    while (const std::optional<XmlElement> pattern = next_element(ignore->content, "pattern", pos))
        if (std::optional<std::string> text = xml_unescaped(pattern->content))
            listing.ignored.push_back(std::move(*text));
}

}  // namespace

Status read_generation(std::string_view xml, MhlListing& listing)
{
    std::size_t pos = 0;
    const std::optional<XmlElement> hashlist = next_element(xml, "hashlist", pos);
    if (!hashlist)
        return fail("Not an MHL generation");
    read_ignored(hashlist->content, listing);
    pos = 0;
    const std::optional<XmlElement> hashes = next_element(hashlist->content, "hashes", pos);
    if (!hashes)
        return {};
    pos = 0;
    while (const std::optional<XmlElement> hash = next_element(hashes->content, "hash", pos)) {
        MhlListed file;
        if (Status read = read_hash(*hash, file); !read)
            return read;
        listing.files.push_back(std::move(file));
    }
    return {};
}

Status read_history(const std::string& root, std::vector<MhlListing>& generations)
{
    const std::string folder = root + "/" + kMhlFolder;
    bool ok = true;
    const std::vector<std::string> names = posix::list_directory(folder, &ok);
    if (!ok)
        return fail("Can't read folder: \"" + folder + "\"", folder, errno);
    generations.clear();
    for (const std::string& name : names) {
        const std::optional<int> number = generation_number(name);
        if (!number)
            continue;
        MhlListing listing;
        listing.name = name;
        listing.number = *number;
        std::string xml;
        if (const int err = read_whole(folder + "/" + name, xml); err != 0)
            return fail("Can't read an MHL generation", folder + "/" + name, err);
        if (Status read = read_generation(xml, listing); !read)
            return fail("Unreadable MHL generation: \"" + folder + "/" + name + "\": " + read.failure().message);
        generations.push_back(std::move(listing));
    }
    std::sort(generations.begin(), generations.end(),
              [](const MhlListing& a, const MhlListing& b) { return a.number < b.number; });
    return {};
}

}  // namespace oakvane
