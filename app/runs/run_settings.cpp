#include "run_settings.h"

#include "camera_source.h"
#include "capture_dates.h"
#include "name_codes.h"
#include "preferences.h"
#include "text_format.h"

namespace oakvane {

namespace {

constexpr const char* kNoTemplate = "[none]";
constexpr const char* kNotUsed = "[not used]";

// A set file may hold any number; the dialog only ever stores 1 to 3. Another value runs with
// the default arrangement, which the summary then shows, rather than with a tree nobody chose.
int usable_arrangement(int arrangement)
{
    return arrangement >= 1 && arrangement <= 3 ? arrangement : 2;
}

std::string converter_line(const RunSettings& run)
{
    std::string line = "Run Adobe DNG Converter: ";
    if (!run.keep_raw)
        return line + "No";
    line += "Yes";
    if (run.verify_only)
        return line + " (verify only)";
    const char quality = run.preview.size() > 2 ? run.preview[2] : '\0';
    switch (quality) {
    case '0': return line + " (No JPEG preview)";
    case '1': return line + " (Medium-size JPEG preview)";
    case '2': return line + " (Full-size JPEG preview)";
    default: return line;
    }
}

std::string date_folders_text(const RunSettings& run)
{
    if (!run.want_date_folders)
        return std::string(" ") + kNotUsed;
    switch (run.arrangement) {
    case 1: return "Date Folders";
    case 3: return "Year, Month, and Date Folders";
    default: return "Year and Date Folders";
    }
}

std::string sidecar_path(const RunSettings& run)
{
    if (run.template_name == kNoTemplate)
        return "";
    return run.template_folder + "/" + run.template_name + ".xmp";
}

}  // namespace

bool uses_starting_number(const std::string& name_fmt)
{
    return uses_automatic_number(name_fmt);
}

RunSettings read_run_settings(const Preferences& prefs, const std::string& card_folder,
                              const std::string& backup_folder,
                              const std::string& user_folder_name)
{
    RunSettings run;
    run.card_folder = card_folder;
    run.backup_folder = backup_folder;
    run.primary_folder = prefs.GetPrimaryFolder();
    run.converter_app = prefs.GetConverterApp();
    run.keep_raw = prefs.GetKeepRaw();
    run.verify_only = prefs.GetVerifyOnly();
    run.embed = prefs.GetEmbed();
    run.read_back = prefs.GetReadBack();
    run.decode_raws = prefs.GetDecodeRaws();
    run.arrangement = usable_arrangement(prefs.GetArrangement());
    run.texts = {prefs.GetNamePfx(), prefs.GetNameText2(), prefs.GetNameText3(),
                 prefs.GetNameText4()};
    run.name_fmt = prefs.GetNameFmt();
    run.preview = prefs.GetPreview();
    run.template_name = prefs.GetTemplate();
    run.template_folder = prefs.GetTemplateFolder();
    run.want_date_folders = prefs.GetWantDateFolders();
    run.want_user_folder = prefs.GetWantUserFolder();
    run.want_range_folder = prefs.GetWantRangeFolder();
    run.starting_number = prefs.GetStartingNumber();
    run.starting_number_used = uses_starting_number(run.name_fmt);
    run.user_folder_name = user_folder_name;
    return run;
}

// Folder and template names are shown escaped: each must stay within its own line.
std::vector<std::string> run_summary_lines(const RunSettings& run)
{
    return {
        "Card Folder: " + shown(run.card_folder),
        "Primary Image Folder: " + shown(run.primary_folder),
        "Backup Image Folder: " + shown(run.backup_folder),
        converter_line(run),
        "Metadata Template: " + shown(run.template_name),
        "Primary Image Arrangement:",
        "    Date Folder(s): " + date_folders_text(run),
        "    User-Named Folder: " + (run.want_user_folder ? shown(run.user_folder_name) : kNotUsed),
        std::string("    Number-Range Folder: ") + (run.want_range_folder ? "Yes" : kNotUsed),
        "Starting Number: " + run.starting_number +
            (run.starting_number_used ? "" : " (not used)"),
    };
}

std::optional<RunRequest> run_request(const RunSettings& run, Failure& why)
{
    const std::optional<int> number = parse_starting_number(run.starting_number);
    if (!number) {
        why = {"Starting number must be from 0 to 2147483647: \"" + run.starting_number + "\"", {}, 0};
        return std::nullopt;
    }
    RunRequest request;
    request.card_folder = run.card_folder;
    request.card_source = camera::card_sources();
    request.backup_folder = run.backup_folder;
    request.primary_folder = run.primary_folder;
    if (run.keep_raw)
        request.converter = run.converter_app;
    request.preview = run.preview;
    request.embed = run.embed ? "-e" : "";
    request.verify_only = run.verify_only;
    request.read_back = run.read_back;
    request.decode_raws = run.decode_raws;
    request.date_depth = run.arrangement;
    request.date_folders = run.want_date_folders;
    request.user_folder = run.want_user_folder;
    request.range_folders = run.want_range_folder;
    request.user_folder_name = run.user_folder_name;
    request.name_format = run.name_fmt;
    request.texts = run.texts;
    request.sidecar_template = sidecar_path(run);
    request.starting_number = *number;
    request.capture_dates = read_capture_date;
    return request;
}

}  // namespace oakvane
