#pragma once
// The engine's command line:
//   veltro.exe -i INPUT -gorex|-crax|-fox|-crease PARAMFILE -o OUTPUT
// with the three pairs in any order, plus --help and --version.

#include "engine/Progress.h"

#include <opencv2/core.hpp>

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
    std::string paramFile;
    Operation operation = Operation::None;
    std::string operationSwitch;   // as given, e.g. "-gorex"
};

// Throws EngineError (exit 2) on a command line that is not usable.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The usage text printed by --help.
std::string UsageText();

// Runs the engine as the program does: returns its exit status, prints help
// and version to `out` and warnings and the one-line failure to `err`. While
// a restoration runs, it writes "progress N" lines to `out` (N growing from 0,
// once the parameters are accepted, to 100, once the output is in place),
// each flushed at once.
int RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// Image files. ReadPicture throws EngineError (exit 3) when the file cannot
// be read; the picture comes as stored, without EXIF rotation.
cv::Mat ReadPicture(const std::string& path, bool grey, const std::string& what);
// Writes a JPEG of quality 95 to a temporary file beside `path`, then renames
// it into place; throws EngineError (exit 5) and leaves nothing behind on failure.
// `progress` reaches 1 only once the file is in place.
void WriteJpegAtomically(const cv::Mat& image, const std::string& path, const Progress& progress = Progress());
// The sink of a run's progress: "progress N" lines on `out`, each flushed.
Progress::Sink ProgressLines(std::ostream& out);
// True when `a` and `b` name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace veltro
