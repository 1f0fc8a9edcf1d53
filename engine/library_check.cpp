#include "library_check.h"

#include "file_hashes.h"
#include "mhl_history.h"
#include "mhl_read.h"
#include "text_format.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fnmatch.h>
#include <map>
#include <set>
#include <cstring>
#include <sys/stat.h>

namespace oakvane {

namespace fs = std::filesystem;

namespace {

// The hash compared where a file has several: the strongest this tool can work out.
constexpr std::string_view kPreferredHashes[] = {"xxh128", "sha1", "md5", "xxh64", "xxh3"};

struct History {
    std::string root;  // below the folder checked, "" for the folder itself
    std::map<std::string, MhlListed> files;  // by path below the root; a later listing wins
    std::vector<std::string> ignored;
};

// What the walk of the folder found: the trees with a history, and every other entry.
struct Walked {
    std::vector<std::string> roots;
    std::vector<std::string> entries;  // below the folder checked
};

std::string joined(const std::string& root, const std::string& path)
{
    return root.empty() ? path : root + "/" + path;
}

Status walk(const std::string& folder, Walked& found)
{
    std::error_code ec;
    const fs::path base(folder);
    if (fs::is_directory(base / kMhlFolder, ec))
        found.roots.push_back("");
    fs::recursive_directory_iterator it(base, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string relative = it->path().lexically_relative(base).string();
        const bool folder_entry = it->is_directory(ec) && !it->is_symlink(ec);
        if (folder_entry && it->path().filename() == kMhlFolder) {
            it.disable_recursion_pending();
            continue;
        }
        if (folder_entry) {
            if (fs::is_directory(it->path() / kMhlFolder, ec))
                found.roots.push_back(relative);
            continue;
        }
        found.entries.push_back(relative);
    }
    if (ec)
        return fail("Can't read the folder", folder, ec.value());
    std::sort(found.entries.begin(), found.entries.end());
    return {};
}

Status load(const std::string& folder, const std::string& root, History& history)
{
    std::vector<MhlListing> generations;
    if (Status read = read_history(joined(folder, root), generations); !read)
        return read;
    history.root = root;
    for (MhlListing& generation : generations) {
        for (MhlListed& file : generation.files)
            history.files[file.path] = std::move(file);
        for (std::string& pattern : generation.ignored)
            history.ignored.push_back(std::move(pattern));
    }
    return {};
}

// Whether a history's ignore patterns leave relative (below its root) out of the check: a
// pattern with a "/" inside is matched against the path, any other against each name in it.
bool ignored(const History& history, const std::string& relative)
{
    for (std::string pattern : history.ignored) {
        while (pattern.size() > 1 && pattern.back() == '/')
            pattern.pop_back();
        if (pattern.find('/') != std::string::npos) {
            const std::string anchored = pattern.front() == '/' ? pattern.substr(1) : pattern;
            if (::fnmatch(anchored.c_str(), relative.c_str(), FNM_PATHNAME) == 0)
                return true;
            continue;
        }
        for (const fs::path& part : fs::path(relative))
            if (::fnmatch(pattern.c_str(), part.c_str(), 0) == 0)
                return true;
    }
    return false;
}

const MhlHash* hash_to_compare(const MhlListed& file)
{
    for (std::string_view type : kPreferredHashes)
        for (const MhlHash& hash : file.hashes)
            if (hash.type == type && hash.action != "failed")
                return &hash;
    return nullptr;
}

// The outcome of one listed file; a failure only for a stop.
Status check_listed(const std::string& path, const MhlListed& listed, std::vector<char>& buffer,
                    HostHooks& host, CheckedFile& file)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        file.state = errno == ENOENT ? CheckedState::missing : CheckedState::changed;
        file.detail = errno == ENOENT ? "" : std::string("can't be looked at: ") + std::strerror(errno);
        return {};
    }
    file.state = CheckedState::changed;
    if (!S_ISREG(st.st_mode)) {
        file.detail = "no longer a plain file";
        return {};
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (listed.size && *listed.size != size) {
        file.detail = format("%llu bytes, the history says %llu", static_cast<unsigned long long>(size),
                             static_cast<unsigned long long>(*listed.size));
        return {};
    }
    const MhlHash* hash = hash_to_compare(listed);
    if (!hash) {
        file.state = CheckedState::unchecked;
        file.detail = "no hash this tool can work out";
        return {};
    }
    file.hash_type = hash->type;
    const FileHash read = hash_file(path, hash->type, buffer, [&host] { return host.stop_requested() != 0; });
    if (read.stopped)
        return stopped();
    if (read.err != 0) {
        file.detail = std::string("can't be read: ") + std::strerror(read.err);
        return {};
    }
    if (read.hex != hash->value) {
        file.detail = hash->type + " " + read.hex + ", the history says " + hash->value;
        return {};
    }
    file.state = CheckedState::intact;
    return {};
}

void tell(HostHooks& host, const CheckedFile& file)
{
    std::string line = checked_state_text(file.state);
    line[0] = static_cast<char>(line[0] - 'a' + 'A');
    line += ": " + file.path;
    if (!file.detail.empty())
        line += " (" + file.detail + ")";
    host.output_text(line + "\n");
}

void count(LibraryCheck& check, CheckedState state)
{
    switch (state) {
    case CheckedState::intact: ++check.intact; break;
    case CheckedState::changed: ++check.changed; break;
    case CheckedState::missing: ++check.missing; break;
    case CheckedState::added: ++check.added; break;
    case CheckedState::unchecked: ++check.unchecked; break;
    }
}

void settle(LibraryCheck& check, HostHooks& host, CheckedFile&& file)
{
    tell(host, file);
    count(check, file.state);
    check.files.push_back(std::move(file));
}

// Every listed file, in path order; checked holds their paths below the folder afterwards.
Status check_histories(const std::string& folder, const std::vector<History>& histories,
                       HostHooks& host, LibraryCheck& check, std::set<std::string>& listed)
{
    std::map<std::string, std::pair<const History*, const MhlListed*>> all;
    for (const History& history : histories)
        for (const auto& [path, file] : history.files)
            all.try_emplace(joined(history.root, path), &history, &file);
    // One step more than files, taken at the start, as a run counts its steps: the hosts' bars
    // show files.
    host.progress_range(static_cast<int>(all.size()) + 1);
    host.progress_status("Checking the library");
    host.progress_step();
    std::vector<char> buffer;
    for (const auto& [path, where] : all) {
        if (host.stop_requested())
            return stopped();
        CheckedFile file;
        file.path = path;
        file.history = where.first->root;
        if (Status checked = check_listed(joined(folder, path), *where.second, buffer, host, file); !checked)
            return checked;
        listed.insert(path);
        settle(check, host, std::move(file));
        host.progress_step();
    }
    return {};
}

// The deepest history whose tree holds entry, or none.
const History* history_of(const std::vector<History>& histories, const std::string& entry)
{
    const History* best = nullptr;
    for (const History& history : histories)
        if (history.root.empty() || entry.starts_with(history.root + "/"))
            if (!best || history.root.size() > best->root.size())
                best = &history;
    return best;
}

void find_new(const Walked& walked, const std::vector<History>& histories,
              const std::set<std::string>& listed, HostHooks& host, LibraryCheck& check)
{
    for (const std::string& entry : walked.entries) {
        const History* history = history_of(histories, entry);
        if (!history || listed.contains(entry))
            continue;
        const std::string relative = history->root.empty() ? entry : entry.substr(history->root.size() + 1);
        if (ignored(*history, relative))
            continue;
        settle(check, host, CheckedFile{entry, CheckedState::added, "", "", history->root});
    }
}

void summarise(const LibraryCheck& check, HostHooks& host)
{
    const int listed = check.intact + check.changed + check.missing + check.unchecked;
    const std::size_t histories = check.histories.size();
    std::string line = format("Checked %d files listed in %zu %s: %d intact, %d changed, "
                              "%d missing, %d new",
                              listed, histories, histories == 1 ? "history" : "histories",
                              check.intact, check.changed, check.missing, check.added);
    if (check.unchecked > 0)
        line += format(", %d unchecked", check.unchecked);
    host.output_text("\n" + line + "\n");
}

Status run_check(const std::string& folder, HostHooks& host, LibraryCheck& check)
{
    Walked walked;
    if (Status found = walk(folder, walked); !found)
        return found;
    if (walked.roots.empty())
        return fail("No ASC MHL history found in \"" + folder + "\"");
    std::vector<History> histories(walked.roots.size());
    for (std::size_t i = 0; i < walked.roots.size(); ++i) {
        if (Status loaded = load(folder, walked.roots[i], histories[i]); !loaded)
            return loaded;
        check.histories.push_back(walked.roots[i]);
    }
    std::set<std::string> listed;
    if (Status checked = check_histories(folder, histories, host, check, listed); !checked)
        return checked;
    find_new(walked, histories, listed, host, check);
    return {};
}

}  // namespace

const char* checked_state_text(CheckedState state)
{
    switch (state) {
    case CheckedState::intact: return "intact";
    case CheckedState::changed: return "changed";
    case CheckedState::missing: return "missing";
    case CheckedState::added: return "new";
    case CheckedState::unchecked: return "unchecked";
    }
    return "changed";
}

LibraryCheck check_library(const std::string& folder, HostHooks& host)
{
    LibraryCheck check;
    Status done;
    try {
        done = run_check(folder, host, check);
    } catch (const std::bad_alloc&) {
        done = fail("out of memory");
    }
    if (!done) {
        check.failure = done.failure();
        if (!done.failure().stopped())
            show_failure(done.failure(), [&host](std::string_view text) { host.output_text(text); });
        return check;
    }
    summarise(check, host);
    return check;
}

}  // namespace oakvane
