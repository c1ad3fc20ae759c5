#pragma once
// The engine's command line:
//   veltro.exe -i INPUT -gorex|-crax|-fox|-crease PARAMFILE -o OUTPUT [-m CHANGED]
// with the pairs in any order, plus --help and --version.

#include "engine/Progress.h"

#include <ostream>
#include <string>
#include <vector>

namespace veltro {

enum class Operation { None, Blotch, Crack, Foxing, Crease };

struct CommandLine {
    bool help = false;
    bool version = false;
    std::string input;
    std::string output;
    std::string changedMask;       // -m: where the mask of the changed pixels goes (PNG)
    std::string paramFile;
    Operation operation = Operation::None;
    std::string operationSwitch;   // as given, e.g. "-gorex"
};

// Throws EngineError (exit 2) on a command line that is not usable, an
// OUTPUT whose name asks for no format the engine writes included.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The usage text printed by --help.
std::string UsageText();

// Runs the engine as the program does: returns its exit status, prints help
// and version to `out` and warnings and the one-line failure to `err`. While
// a restoration runs, it writes "progress N" lines to `out` (N growing from 0,
// once the parameters are accepted, to 100, once the output is in place),
// each flushed at once.
int RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// The sink of a run's progress: "progress N" lines on `out`, each flushed.
Progress::Sink ProgressLines(std::ostream& out);

}  // namespace veltro
