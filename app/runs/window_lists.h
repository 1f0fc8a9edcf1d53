#pragma once
// What the main window's metadata-template and user-named folder lists hold, read from the
// folders they list, so that the window only shows them.

#include <string>
#include <vector>

namespace oakvane {

inline constexpr char kNoneEntry[] = "[none]";
inline constexpr char kRefreshEntry[] = "[refresh]";
inline constexpr char kNewFolderEntry[] = "[new...]";
inline constexpr char kDefaultUserFolder[] = "My Job";

struct ComboList {
    std::vector<std::string> entries;
    int selected = -1;
};

// The metadata-template list: for every entry of folder whose name is longer than four
// characters and ends in "xmp" (any case), the name without its last four characters, sorted
// without regard to case; then "[none]" and "[refresh]". Selects the first entry that begins
// with template_name (ignoring case, from the top), else "[none]". An unreadable or missing
// folder gives only the two entries.
ComboList template_list(const std::string& folder, const std::string& template_name);

// The user-named folder list: every folder in primary_folder whose name does not begin with
// "." and is not the tree's history ("ascmhl"), in the directory's order, or "My Job" when there is none or the folder cannot be read;
// then "[refresh]" and "[new...]". When saved_name is exactly one of the folders, selects the
// first entry that begins with it (ignoring case, from the top); otherwise the first entry.
ComboList user_folder_list(const std::string& primary_folder, const std::string& saved_name);

}  // namespace oakvane
