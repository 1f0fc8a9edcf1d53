#include "primary_copy.h"

#include "convert_folder.h"
#include "file_records.h"
#include "run_lock.h"
#include "run_state.h"

#include <algorithm>
#include <span>

namespace oakvane {

namespace {

void announce_phase(bool with_converter)
{
    const RunState& run = run_state();
    if (!with_converter) {
        host().output_text("Skipping Adobe DNG Converter\n");
        host().progress_status("Copying images to primary folder(s)");
    } else if (run.verify_only) {
        host().output_text("Running Adobe DNG Converter for verification only\n");
        host().progress_status("Running Adobe DNG Converter for verification only");
    } else {
        host().output_text("Running Adobe DNG Converter\n");
        host().progress_status("Running Adobe DNG Converter");
    }
}

// The primary folder for backup copies whose last "/" is at slash: the primary root
// followed by what lies between the backup root and that slash.
std::string primary_folder_for(const std::string& entry, std::size_t slash,
                               const std::string& primary_folder)
{
    const std::size_t root = run_state().backup_folder.size();
    return primary_folder + (slash > root ? entry.substr(root, slash - root) : std::string());
}

}  // namespace

int copy_to_primary(const std::string& converter, const std::string& primary_folder,
                    std::string& msg, std::size_t msg_size)
{
    RunState& run = run_state();
    std::vector<std::string>& list = run.arg_vec;
    if (static_cast<std::size_t>(run.image_count) != list.size())
        return record_error("Image count discrepency.");
    run.raw_count = 0;
    const bool with_converter = !converter.empty();
    announce_phase(with_converter);
    if (!list.empty() && (!make_folder_path(primary_folder) ||
                          !lock_tree(primary_folder, run.primary_lock)))
        return 0;
    std::sort(list.begin(), list.end());  // byte order, as memcmp compares
    if (with_converter)
        host().progress_tick();
    else
        host().progress_range(static_cast<int>(list.size()));

    for (std::size_t first = 0; first < list.size();) {
        const std::size_t slash = list[first].rfind('/');
        if (slash == std::string::npos)
            return record_error("copy_to_primary - can't locate last slash");
        const std::string_view dir(list[first].data(), slash);
        trace("New folder: " + list[first]);
        std::size_t last = first;
        while (last + 1 < list.size() && list[last + 1].rfind('/') == slash &&
               list[last + 1].compare(0, slash, dir) == 0)
            ++last;
        for (std::size_t i = first; i <= last; ++i)
            trace("\t" + std::to_string(i) + ": " + list[i].substr(list[i].rfind('/') + 1));
        const std::string folder = primary_folder_for(list[first], slash, primary_folder);
        trace("To folder: [" + folder + "] from " + std::to_string(first) + " to " +
              std::to_string(last));
        const std::span<const std::string> files(list.data() + first, last - first + 1);
        if (!convert_or_copy_folder(converter, files, folder, msg, msg_size)) {
            report_unplaced(files, folder, msg.empty() ? run.last_error : msg);
            report_unplaced(std::span<const std::string>(list).subspan(last + 1), "", "");
            return 0;
        }
        report_placed(files, folder);
        run.last_primary_folder = folder;
        first = last + 1;
    }
    if (with_converter)
        host().progress_tick();
    return 1;
}

}  // namespace oakvane
