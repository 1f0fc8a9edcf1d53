#include "settings_check.h"

#include "run_state.h"

#include <cctype>
#include <climits>
#include <filesystem>
#include <system_error>

namespace oakvane {

namespace {

namespace fs = std::filesystem;

// The path with its existing part resolved; "" when even that can't be resolved.
std::string resolved(const std::string& path)
{
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(path, ec);
    return ec ? std::string() : real.string();
}

bool inside(const std::string& inner, const std::string& outer)
{
    if (inner.empty() || outer.empty())
        return false;
    const std::string prefix = outer.back() == '/' ? outer : outer + '/';
    return (inner + '/').starts_with(prefix);
}

int check_absolute(const std::string& folder, const char* which)
{
    if (folder.starts_with('/'))
        return 1;
    return record_error(std::string(which) + " folder must be an absolute path: \"" + folder + "\"");
}

}  // namespace

int check_folders()
{
    const RunState& run = run_state();
    if (!check_absolute(run.backup_folder, "Backup") || !check_absolute(run.primary_folder, "Primary"))
        return 0;
    std::error_code ec;
    if (!fs::exists(run.card_folder, ec))
        return 1;
    const std::string card = resolved(run.card_folder);
    const std::string backup = resolved(run.backup_folder);
    const std::string primary = resolved(run.primary_folder);
    if (inside(backup, card))
        return record_error("The backup folder is inside the card folder: \"" + run.backup_folder + "\"");
    if (inside(card, backup))
        return record_error("The card folder is inside the backup folder: \"" + run.card_folder + "\"");
    if (inside(primary, card))
        return record_error("The primary folder is inside the card folder: \"" + run.primary_folder + "\"");
    if (inside(card, primary))
        return record_error("The card folder is inside the primary folder: \"" + run.card_folder + "\"");
    return 1;
}

int parse_starting_number(const char* text)
{
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    long long value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT_MAX)
            break;
    }
    if (value > INT_MAX || (negative && value != 0))
        return record_error(std::string("Starting number must be from 0 to 2147483647: \"") + text + "\"");
    run_state().running_number = static_cast<int>(value);
    return 1;
}

}  // namespace oakvane
