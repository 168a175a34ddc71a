#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace sonari::cli {

// A command line the command cannot take; the command prints its usage and ends with status 2.
class EUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A command's arguments sorted into positional ones, flags and options with a value
// ("--name VALUE" or "--name=VALUE").
struct TArguments {
    std::vector<std::string> Positional;
    std::set<std::string> Flags;
    std::map<std::string, std::string> Values;

    bool Has(const std::string& flag) const { return Flags.count(flag) > 0; }
    // The option's value, or "" when it was not given.
    std::string Value(const std::string& option) const;
};

// Raises EUsageError for an unknown option, an option without its value or one given twice.
TArguments ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& flags,
                          const std::set<std::string>& valueOptions);

// "--help" or "-h" among the arguments.
bool WantsHelp(const std::vector<std::string>& args);

} // namespace sonari::cli
