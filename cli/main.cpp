#include "SND/WDM/WdmErrors.h"
#include "cli/Commands.h"

#include <array>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct TCommandEntry {
    const char* Name;
    const char* Summary;
    sonari::cli::TCommand Run;
};

// Adding a command: one entry here, its function in a file of its own.
constexpr std::array<TCommandEntry, 3> kCommands = {{
    {"devices", "list the sound devices with their directions and format ranges",
     sonari::cli::DevicesCommand},
    {"process", "run the processing chain over a WAV file", sonari::cli::ProcessCommand},
    {"run", "process live from a microphone to a transmitter until interrupted",
     sonari::cli::RunCommand},
}};

void PrintUsage(std::ostream& out) {
    out << "Usage: sonari-cli <command> [arguments]\n\nCommands:\n";
    for (const TCommandEntry& command : kCommands)
        out << "  " << command.Name << std::string(12 - std::string(command.Name).size(), ' ')
            << command.Summary << "\n";
    out << "\n'sonari-cli <command> --help' describes a command.\n"
           "SONARI_AUDIO=sim replaces the sound hardware by the simulated demo devices.\n";
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args.front() == "--help" || args.front() == "-h") {
        PrintUsage(args.empty() ? std::cerr : std::cout);
        return args.empty() ? 2 : 0;
    }
    for (const TCommandEntry& command : kCommands) {
        if (args.front() != command.Name)
            continue;
        try {
            return command.Run({args.begin() + 1, args.end()}, std::cout, std::cerr);
        } catch (const std::exception& e) {
            std::cerr << "sonari-cli " << command.Name << ": " << sonari::ErrorMessage(e) << "\n";
            return 1;
        }
    }
    std::cerr << "sonari-cli: unknown command '" << args.front() << "'\n\n";
    PrintUsage(std::cerr);
    return 2;
}
