#include "mhl_history.h"

#include "c4_id.h"
#include "dirlist.h"
#include "mhl_chain.h"
#include "mhl_generation.h"
#include "mhl_store.h"
#include "tree_writer.h"
#include "whole_file.h"
#include "xml_text.h"
#include "text_format.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <map>
#include <stdexcept>

namespace oakvane {

namespace {

// The tree's root without trailing slashes.
std::string root_folder(const std::string& root)
{
    std::string folder = root;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

Status c4_of(std::string_view bytes, std::string& id)
{
    try {
        id = c4_id(bytes);
        return {};
    } catch (const std::runtime_error& error) {
        return fail(std::string("Can't make a C4 id: ") + error.what());
    }
}

// The generation files in folder, by number.
Status list_generations(const std::string& folder, std::map<int, std::string>& generations)
{
    bool ok = true;
    const std::vector<std::string> names = posix::list_directory(folder, &ok);
    if (!ok)
        return fail("Can't read folder: \"" + shown(folder) + "\"", folder, errno);
    for (const std::string& name : names)
        if (const std::optional<int> number = generation_number(name))
            generations.emplace(*number, name);
    return {};
}

Status load_chain(const std::string& folder, std::vector<ChainEntry>& chain)
{
    const std::string path = folder + "/" + std::string(kChainName);
    std::string xml;
    if (const int err = read_whole(path, xml); err != 0)
        return err == ENOENT ? Status() : fail("Can't read the MHL chain", path, err);
    return std::move(read_chain(xml, chain))
        .reworded("Unreadable MHL chain, left as it is: \"" + shown(path) + "\"");
}

// One past the highest number a generation has, in the folder or in the chain (whose file
// may be gone).
Status next_number(const std::map<int, std::string>& generations,
                   const std::vector<ChainEntry>& chain, int& number)
{
    int highest = generations.empty() ? 0 : generations.rbegin()->first;
    for (const ChainEntry& entry : chain)
        highest = std::max(highest, entry.number);
    if (highest == INT_MAX)
        return fail("No MHL generation number left");
    number = highest + 1;
    return {};
}

// Adds the generations a crash left out of the chain, with the C4 ids of their files now.
Status add_unchained(const std::string& folder, const std::map<int, std::string>& generations,
                     std::vector<ChainEntry>& chain)
{
    for (const auto& [number, name] : generations) {
        const auto chained = [&](const ChainEntry& entry) { return entry.path == name; };
        if (std::any_of(chain.begin(), chain.end(), chained))
            continue;
        std::string bytes;
        std::string id;
        if (const int err = read_whole(folder + "/" + name, bytes); err != 0)
            return fail("Can't read an MHL generation", folder + "/" + name, err);
        if (Status made = c4_of(bytes, id); !made)
            return made;
        chain.push_back({number, name, id});
    }
    return {};
}

// The chain with the generations a crash left out of it, and the new generation's number.
Status chain_so_far(const std::string& folder, std::vector<ChainEntry>& chain, int& number)
{
    std::map<int, std::string> generations;
    if (Status loaded = load_chain(folder, chain); !loaded)
        return loaded;
    if (Status listed = list_generations(folder, generations); !listed)
        return listed;
    if (Status numbered = next_number(generations, chain, number); !numbered)
        return numbered;
    return add_unchained(folder, generations, chain);
}

}  // namespace

Status add_mhl_generation(const MhlGeneration& generation)
{
    const std::string root = root_folder(generation.root);
    const std::string folder = root + "/" + kMhlFolder;
    std::string text;
    std::string id;
    if (!xml_escaped(file_name_of(root)))  // the chain names generations after it
        return fail("Name not writable in the MHL history", root);
    if (Status made = generation_text(generation, text); !made)
        return made;
    if (Status made = c4_of(text, id); !made)
        return made;

    DiskWriter writer;
    if (const int err = writer.make_dir(folder); err != 0)
        return fail("Can't create folder: \"" + shown(folder) + "\"", folder, err);
    std::vector<ChainEntry> chain;
    int number = 0;
    if (Status read = chain_so_far(folder, chain, number); !read)
        return read;
    // The run's date was written above, so the name has one.
    const std::string name = *generation_name(number, file_name_of(root), generation.created);
    chain.push_back({number, name, id});
    const std::optional<std::string> chain_xml = chain_text(chain);
    if (!chain_xml)
        return fail("Name not writable in the MHL history", root);

    if (Status published = publish_generation(writer, folder + "/" + name, text); !published)
        return published;
    return replace_chain(writer, folder + "/" + std::string(kChainName), *chain_xml);
}

}  // namespace oakvane
