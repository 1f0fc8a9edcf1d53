#include "plan_print.h"

#include "text_format.h"

#include <QLocale>

#include <cinttypes>
#include <string>

namespace oakvane {

namespace {

// "75285950464 bytes (70.1 GB)": the exact count for scripts, the other for people.
std::string sized(std::uint64_t bytes)
{
    const QString readable = QLocale::system().formattedDataSize(
        static_cast<qint64>(bytes), 1, QLocale::DataSizeTraditionalFormat);
    return std::to_string(bytes) + " bytes (" + readable.toStdString() + ")";
}

// Names are shown escaped: a newline in one would start a line that could pass for another.
void print_file(const FileRecord& file, std::FILE* out)
{
    if (file.check == FileCheck::skipped) {
        std::fprintf(out, "Skipped: %s (%s)\n", shown(file.card_path).c_str(), shown(file.message).c_str());
        return;
    }
    std::fprintf(out, "File: %s, %s\n", shown(file.card_path).c_str(), sized(file.size).c_str());
    std::fprintf(out, "    backup  %s\n", shown(file.backup_path).c_str());
    if (!file.backup_sidecar.empty())
        std::fprintf(out, "    sidecar %s\n", shown(file.backup_sidecar).c_str());
    if (!file.primary_path.empty())
        std::fprintf(out, "    primary %s (%s%s%s)\n", shown(file.primary_path).c_str(), file_check_text(file.check),
                     file.unchecked_why.empty() ? "" : ": ", file.unchecked_why.c_str());
    if (!file.primary_sidecar.empty())
        std::fprintf(out, "    sidecar %s\n", shown(file.primary_sidecar).c_str());
}

}  // namespace

void print_plan(const RunPlan& plan, std::FILE* out)
{
    std::fputs("\nPlan:\n", out);
    std::size_t copied = 0;
    std::size_t ingested = 0;
    std::uint64_t bytes = 0;
    for (const FileRecord& file : plan.files) {
        print_file(file, out);
        if (file.check == FileCheck::already_ingested)
            ++ingested;
        else if (file.check != FileCheck::skipped) {
            ++copied;
            bytes += file.size;
        }
    }
    for (const std::string& folder : plan.new_folders)
        std::fprintf(out, "New folder: %s\n", shown(folder).c_str());
    for (const SpaceNeed& need : plan.space)
        std::fprintf(out, "Space: %s: %s needed, %s free\n", need.folders.c_str(),
                     sized(need.needed).c_str(), sized(need.available).c_str());
    if (plan.names_vary)
        std::fputs("Note: names with the unique ID (U) get the time of the run, not these.\n", out);
    if (plan.would_run() && ingested > 0)
        std::fprintf(out, "Verdict: the run can go ahead: %zu files, %s, %zu skipped, %zu already ingested\n",
                     copied, sized(bytes).c_str(), plan.files.size() - copied - ingested, ingested);
    else if (plan.would_run())
        std::fprintf(out, "Verdict: the run can go ahead: %zu files, %s, %zu skipped\n",
                     copied, sized(bytes).c_str(), plan.files.size() - copied);
    else
        std::fprintf(out, "Verdict: the run would fail: %s\n", shown(plan.refusal->text()).c_str());
    std::fflush(out);
}

}  // namespace oakvane
