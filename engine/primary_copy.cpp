#include "primary_copy.h"

#include "convert_folder.h"
#include "file_records.h"
#include "ingested.h"

#include <algorithm>
#include <span>

namespace oakvane {

namespace {

void announce_phase(Run& run)
{
    if (!run.converting()) {
        run.output("Skipping Adobe DNG Converter\n");
        run.status("Copying images to primary folder(s)");
    } else if (run.request.verify_only) {
        run.output("Running Adobe DNG Converter for verification only\n");
        run.status("Running Adobe DNG Converter for verification only");
    } else {
        run.output("Running Adobe DNG Converter\n");
        run.status("Running Adobe DNG Converter");
    }
}

// The primary folder for backup copies whose last "/" is at slash: the primary root
// followed by what lies between the backup root and that slash.
std::string primary_folder_for(const Run& run, const std::string& entry, std::size_t slash)
{
    const std::size_t root = run.request.backup_folder.size();
    return run.request.primary_folder + (slash > root ? entry.substr(root, slash - root) : std::string());
}

// The last index from first on whose backup copy lies in the same folder.
std::size_t folder_end(const std::vector<std::string>& list, std::size_t first, std::size_t slash)
{
    std::size_t last = first;
    while (last + 1 < list.size() && list[last + 1].rfind('/') == slash &&
           list[last + 1].compare(0, slash, list[first], 0, slash) == 0)
        ++last;
    return last;
}

}  // namespace

std::string primary_folder_of(const Run& run, const std::string& backup)
{
    return primary_folder_for(run, backup, backup.rfind('/'));
}

Status copy_to_primary(Run& run)
{
    std::vector<std::string>& list = run.backups;
    if (static_cast<std::size_t>(run.counts.images) != list.size())
        return fail("Image count discrepency.");
    run.raw_count = 0;
    if (Status passed = pass_over_placed(run, list); !passed)
        return passed;
    announce_phase(run);
    if (!list.empty()) {
        if (Status made = make_folder_path(run, run.request.primary_folder); !made)
            return made;
        if (Status locked = run.writer.lock(run.request.primary_folder); !locked)
            return locked;
    }
    std::sort(list.begin(), list.end());  // byte order, as memcmp compares
    if (run.converting())
        run.tick();
    else
        run.range(static_cast<int>(list.size()));

    for (std::size_t first = 0; first < list.size();) {
        const std::size_t slash = list[first].rfind('/');
        if (slash == std::string::npos)
            return fail("copy_to_primary - can't locate last slash");
        const std::size_t last = folder_end(list, first, slash);
        const std::string folder = primary_folder_for(run, list[first], slash);
        run.diagnostic("Primary folder " + folder + " from " + list[first].substr(0, slash) + ":");
        for (std::size_t i = first; i <= last; ++i)
            run.diagnostic("\t" + std::to_string(i) + ": " + list[i].substr(slash + 1));
        const std::span<const std::string> files(list.data() + first, last - first + 1);
        if (Status filled = convert_or_copy_folder(run, files, folder); !filled) {
            report_unplaced(run, files, folder, &filled.failure());
            report_unplaced(run, std::span<const std::string>(list).subspan(last + 1), "", nullptr);
            return filled;
        }
        report_placed(run, files, folder);
        run.last_primary_folder = folder;
        first = last + 1;
    }
    if (run.converting())
        run.tick();
    return {};
}

}  // namespace oakvane
