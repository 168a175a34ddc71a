#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace sonari::cli {

// A sub-command of sonari-cli: gets the arguments after its name, returns the exit status.
using TCommand = int (*)(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err);

// Lists every sound device with its number and name, directions and format ranges.
int DevicesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Runs the live-processing chain over a WAV file.
int ProcessCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Processes from a capture device to a render device until interrupted.
int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace sonari::cli
