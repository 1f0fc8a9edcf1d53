#include "histories.h"

#include "fs_util.h"
#include "mhl_history.h"
#include "text_format.h"
#include "xml_text.h"

#include <sys/stat.h>
#include <utility>
#include <unistd.h>

#ifndef OAKVANE_VERSION
#define OAKVANE_VERSION "0"
#endif

namespace oakvane {

namespace {

std::string host_name()
{
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string("localhost");
}

// The history entry of one published copy; false (with a diagnostic) when it can't be made.
bool history_entry(Run& run, const PublishedCopy& copy, const std::string& root, MhlFile& file)
{
    struct stat st;
    if (copy.hash.empty() || ::lstat(copy.path.c_str(), &st) != 0) {
        run.diagnostic("history: " + copy.path + " left out (no hash, or gone)");
        return false;
    }
    file.relative_path = copy.path.substr(root.size() + 1);
    // XML holds no name that is not UTF-8 or that has control characters: such a copy is
    // placed and checked like any other, only its history can't name it.
    if (!xml_escaped(file.relative_path) || !xml_escaped(copy.card_path)) {
        run.output("Not listed in the tree's history (its name can't be written there): " +
                   shown(copy.path) + "\n");
        return false;
    }
    file.size = static_cast<std::uint64_t>(st.st_size);
    file.modified = st.st_mtim.tv_sec;
    file.xxh128 = copy.hash;
    file.card_path = copy.card_path;
    return true;
}

Status write_history(Run& run, const std::string& root)
{
    MhlGeneration generation;
    generation.root = root;
    generation.tool_version = OAKVANE_VERSION;
    generation.host_name = host_name();
    generation.created = run.started;
    for (const PublishedCopy& copy : run.published) {
        MhlFile file;
        if (is_below(copy.path, root) && !run.failed_copies.contains(copy.path) &&
            history_entry(run, copy, root, file))
            generation.files.push_back(std::move(file));
    }
    if (generation.files.empty())
        return {};
    return add_mhl_generation(generation);
}

}  // namespace

Status write_histories(Run& run)
{
    if (!run.writer.writes() || std::exchange(run.histories_written, true))
        return {};
    if (Status written = write_history(run, run.request.backup_folder); !written)
        return written;
    return write_history(run, run.request.primary_folder);
}

}  // namespace oakvane
