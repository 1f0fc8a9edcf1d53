#pragma once
// oakvane-ingest's command line: what it asks for, or the exit status once help, the version
// or an error has been printed.

#include <QCoreApplication>

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace oakvane {

// A preference set command instead of a run.
enum class SetCommand { None, List, Show, New, Values, Select };

struct Options {
    SetCommand command = SetCommand::None;
    std::optional<std::string> command_set;  // the set --show-set, --new-set, --select-set name
    std::optional<std::string> from;
    std::vector<std::string> assignments;
    std::optional<std::string> set;
    std::optional<std::string> card;
    std::optional<std::string> report;
    std::optional<std::string> check;  // the library folder --check re-reads
    bool watch = false;
    bool plan = false;
};

// The options of application's command line, or an exit status.
std::variant<Options, int> parse_options(const QCoreApplication& application);

}  // namespace oakvane
