// A small command-line reader: "--name value", "--name=value", flags and positionals.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tethersync {

class CArgs {
public:
    explicit CArgs(std::vector<std::string> args) : m_args(std::move(args)) {}

    // Takes "--name value" or "--name=value"; the last one given wins. A missing value is
    // recorded as an error.
    std::optional<std::string> Option(const std::string& name);
    // Every value of a repeatable option, in order.
    std::vector<std::string> Options(const std::string& name);
    // Takes "--name"; true when it was there.
    bool Flag(const std::string& name);
    // What is left after the options were taken; an unknown option is an error.
    std::vector<std::string> Positionals();
    // For commands that take no positional argument: "" when nothing is left, else the
    // first problem (an option error, or the first argument left over).
    std::string NothingLeft();
    // The first problem found ("" when none).
    const std::string& Error() const { return m_error; }

private:
    std::vector<std::string> m_args;
    std::string m_error;
};

}  // namespace tethersync
