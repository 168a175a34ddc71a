#include "cli/Arguments.h"

#include <algorithm>

namespace sonari::cli {

std::string TArguments::Value(const std::string& option) const {
    const auto it = Values.find(option);
    return it == Values.end() ? "" : it->second;
}

TArguments ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& flags,
                          const std::set<std::string>& valueOptions) {
    TArguments parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0 || arg == "--") {
            parsed.Positional.push_back(arg);
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (flags.count(name) && equals == std::string::npos) {
            parsed.Flags.insert(name);
            continue;
        }
        if (!valueOptions.count(name))
            throw EUsageError("unknown option '" + arg + "'");
        if (parsed.Values.count(name))
            throw EUsageError("option '" + name + "' given twice");
        if (equals != std::string::npos)
            parsed.Values[name] = arg.substr(equals + 1);
        else if (i + 1 < args.size())
            parsed.Values[name] = args[++i];
        else
            throw EUsageError("option '" + name + "' needs a value");
        if (parsed.Values[name].empty())
            throw EUsageError("option '" + name + "' needs a value");
    }
    return parsed;
}

bool WantsHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& arg) { return arg == "--help" || arg == "-h"; });
}

} // namespace sonari::cli
