#include "engine/CommandLine.h"

#include "engine/EngineError.h"
#include "engine/ParamFile.h"
#include "engine/Restoration.h"

#include "VeltroVersion.h"

#include <filesystem>
#include <new>
#include <sstream>

namespace fs = std::filesystem;

namespace veltro {

namespace {

const char* const kUsageWhat = "invalid command line";

struct OperationSwitch {
    const char* name;
    Operation operation;
};
const OperationSwitch kSwitches[] = {
    {"-gorex", Operation::Blotch},
    {"-crax", Operation::Crack},
    {"-fox", Operation::Foxing},
    {"-crease", Operation::Crease},
};

bool IsSwitch(const std::string& a)
{
    if (a == "-i" || a == "-o" || a == "--help" || a == "--version")
        return true;
    for (const auto& s : kSwitches)
        if (a == s.name)
            return true;
    return false;
}

// Largest number of directions the crack search may try per step.
constexpr double kMaxDirections = 3600;

// Where the stages of a run end, as shares of its time: reading the picture
// (and the mask), the restoration, then writing the output.
constexpr double kReadDone = 0.12;
constexpr double kReadWithMaskDone = 0.16;
constexpr double kRestorationDone = 0.94;

}  // namespace

std::string UsageText()
{
    return "usage: veltro.exe -i INPUT -gorex|-crax|-fox|-crease PARAMFILE -o OUTPUT\n"
           "       veltro.exe --help | --version\n"
           "\n"
           "Restores the picture INPUT and writes the result to OUTPUT as a JPEG\n"
           "(quality 95). The three pairs may come in any order.\n"
           "  -gorex   blotch removal;  PARAMFILE keys DIST, COST, MASKFILE\n"
           "  -crax    crack removal;   THRWHITE, DEGSTART, STEP_ANGLE, DEGSTOP, Y1, X1, Y2, X2\n"
           "  -fox     foxing removal;  DIST, COST, AMP\n"
           "  -crease  crease removal;  THR1, Q, N, Y1, X1, Y2, X2\n"
           "PARAMFILE holds one KEY<tab>VALUE per line. Y keys are columns (0 = left),\n"
           "X keys are rows counted from the bottom (0 = bottom row).\n"
           "While it works, the engine writes lines \"progress N\" (N = 0..100, growing)\n"
           "to its standard output; \"progress 100\" comes once OUTPUT is written.\n"
           "\n"
           "Exit status: 0 written; 2 usage error; 3 an input, the mask or the parameter\n"
           "file cannot be read; 4 the parameter file is invalid; 5 the output cannot be\n"
           "written; 1 the restoration itself failed.\n";
}

Progress::Sink ProgressLines(std::ostream& out)
{
    return [&out](int percent) { out << "progress " << percent << '\n' << std::flush; };
}

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine cl;
    if (args.empty())
        throw EngineError(kExitUsage, kUsageWhat, "(no arguments)", "see veltro.exe --help");
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            cl.help = true;
            continue;
        }
        if (a == "--version") {
            cl.version = true;
            continue;
        }
        Operation op = Operation::None;
        for (const auto& s : kSwitches)
            if (a == s.name)
                op = s.operation;
        if (a != "-i" && a != "-o" && op == Operation::None)
            throw EngineError(kExitUsage, kUsageWhat, a, "unknown argument; see veltro.exe --help");
        if (i + 1 >= args.size() || IsSwitch(args[i + 1]))
            throw EngineError(kExitUsage, kUsageWhat, a, "a path must follow it");
        const std::string& value = args[++i];
        if (a == "-i" || a == "-o") {
            std::string& target = a == "-i" ? cl.input : cl.output;
            if (!target.empty())
                throw EngineError(kExitUsage, kUsageWhat, a, "given twice");
            target = value;
        } else {
            if (cl.operation != Operation::None)
                throw EngineError(kExitUsage, kUsageWhat, a,
                                  "only one operation may be given (" + cl.operationSwitch + " already is)");
            cl.operation = op;
            cl.operationSwitch = a;
            cl.paramFile = value;
        }
    }
    if (cl.help || cl.version)
        return cl;
    if (cl.input.empty())
        throw EngineError(kExitUsage, kUsageWhat, "-i", "missing: the input picture is required");
    if (cl.operation == Operation::None)
        throw EngineError(kExitUsage, kUsageWhat, "-gorex|-crax|-fox|-crease",
                          "missing: one operation and its parameter file are required");
    if (cl.output.empty())
        throw EngineError(kExitUsage, kUsageWhat, "-o", "missing: the output path is required");
    return cl;
}

namespace {

void RefuseOverwriting(const std::string& output, const std::string& other, const char* what)
{
    if (SameFile(output, other))
        throw EngineError(kExitUnwritable, "cannot write output", output,
                          std::string("it names the ") + what + ", which is never overwritten");
}

void Run(const CommandLine& cl, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> keys;
    switch (cl.operation) {
    case Operation::Blotch: keys = {"DIST", "COST", "MASKFILE"}; break;
    case Operation::Crack: keys = {"THRWHITE", "DEGSTART", "STEP_ANGLE", "DEGSTOP", "Y1", "X1", "Y2", "X2"}; break;
    case Operation::Foxing: keys = {"DIST", "COST", "AMP"}; break;
    case Operation::Crease: keys = {"THR1", "Q", "N", "Y1", "X1", "Y2", "X2"}; break;
    case Operation::None: break;
    }
    const ParamFile params = ParamFile::Load(cl.paramFile, keys, err);

    // Every value is checked before any picture is read.
    int dist = 0, cost = 0, q = 0, n = 0, thrWhite = 0;
    int y1 = 0, x1 = 0, y2 = 0, x2 = 0;
    double amp = 0, thr1 = 0, degStart = 0, degStop = 0, stepAngle = 0;
    std::string maskFile;
    switch (cl.operation) {
    case Operation::Blotch:
        dist = params.Int("DIST", 0);
        cost = params.Int("COST", 0);
        maskFile = params.Text("MASKFILE");
        break;
    case Operation::Crack: {
        thrWhite = params.Int("THRWHITE", 0, 255);
        degStart = params.Real("DEGSTART", -360, 360);
        stepAngle = params.Real("STEP_ANGLE");
        degStop = params.Real("DEGSTOP", -360, 360);
        if (stepAngle <= 0) {
            std::ostringstream r;
            r << stepAngle << " is not above 0 (the search would never advance)";
            throw InvalidParameter("STEP_ANGLE", r.str());
        }
        if (degStart > degStop) {
            std::ostringstream r;
            r << degStart << " is above DEGSTOP " << degStop;
            throw InvalidParameter("DEGSTART", r.str());
        }
        if ((degStop - degStart) / stepAngle + 1 > kMaxDirections) {
            std::ostringstream r;
            r << stepAngle << " is too small: more than " << kMaxDirections << " directions per step";
            throw InvalidParameter("STEP_ANGLE", r.str());
        }
        y1 = params.Int("Y1"); x1 = params.Int("X1");
        y2 = params.Int("Y2"); x2 = params.Int("X2");
        break;
    }
    case Operation::Foxing:
        dist = params.Int("DIST", 0);
        cost = params.Int("COST", 0);
        amp = params.Real("AMP");
        if (amp <= 0 || amp > 1) {
            std::ostringstream r;
            r << amp << " is out of range (above 0, at most 1: a share of full scale)";
            throw InvalidParameter("AMP", r.str());
        }
        break;
    case Operation::Crease:
        thr1 = params.Real("THR1", 0, 255);
        q = params.Int("Q", 1);
        n = params.Int("N", 1);
        y1 = params.Int("Y1"); x1 = params.Int("X1");
        y2 = params.Int("Y2"); x2 = params.Int("X2");
        break;
    case Operation::None: break;
    }

    // The parameters are accepted: the run begins. The shares below follow
    // the time each stage takes on a large picture.
    const Progress progress(ProgressLines(out));
    progress.Report(0.0);
    const bool withMask = cl.operation == Operation::Blotch;
    const double readDone = withMask ? kReadWithMaskDone : kReadDone;
    cv::Mat image = ReadPicture(cl.input, false, "cannot read input picture");
    progress.Report(kReadDone);
    cv::Mat mask;
    if (withMask) {
        mask = ReadPicture(maskFile, true, "cannot read mask");
        progress.Report(readDone);
        if (mask.size() != image.size()) {
            std::ostringstream r;
            r << "the mask is " << mask.cols << "x" << mask.rows << " but the picture is " << image.cols
              << "x" << image.rows;
            throw InvalidParameter("MASKFILE", r.str());
        }
    }
    RefuseOverwriting(cl.output, cl.input, "input picture");
    if (!maskFile.empty())
        RefuseOverwriting(cl.output, maskFile, "mask");
    std::error_code ec;
    fs::path dir = fs::path(cl.output).parent_path();
    if (!dir.empty() && !fs::is_directory(dir, ec))
        throw EngineError(kExitUnwritable, "cannot write output", cl.output, "its directory does not exist");

    const Progress restoring = progress.Sub(readDone, kRestorationDone);
    switch (cl.operation) {
    case Operation::Blotch:
        RemoveBlotches(image, mask, dist, cost, nullptr, restoring);
        break;
    case Operation::Crack: {
        CrackParams p;
        p.thrWhite = thrWhite;
        p.degStart = degStart;
        p.stepAngle = stepAngle;
        p.degStop = degStop;
        p.start = ClampedPoint(image.size(), y1, x1);
        p.end = ClampedPoint(image.size(), y2, x2);
        RemoveCrack(image, p, nullptr, restoring);
        break;
    }
    case Operation::Foxing:
        RemoveFoxing(image, dist, cost, amp, nullptr, restoring);
        break;
    case Operation::Crease: {
        const cv::Rect region = RegionFromCorners(image.size(), y1, x1, y2, x2);
        if (region.empty())
            err << "veltro.exe: warning: " << cl.paramFile
                << ": the region lies outside the picture; the picture is left unchanged\n";
        else
            RemoveCrease(image, region, thr1, q, n, nullptr, restoring);
        break;
    }
    case Operation::None: break;
    }
    restoring.Report(1.0);
    WriteJpegAtomically(image, cl.output, progress.Sub(kRestorationDone, 1.0));
}

}  // namespace

int RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    std::string input;
    try {
        const CommandLine cl = ParseCommandLine(args);
        if (cl.help) {
            out << UsageText();
            return kExitOk;
        }
        if (cl.version) {
            out << "veltro.exe " << VELTRO_VERSION << "\n";
            return kExitOk;
        }
        input = cl.input;
        Run(cl, out, err);
        return kExitOk;
    } catch (const EngineError& e) {
        err << e.what() << "\n";
        return e.ExitStatus();
    } catch (const std::bad_alloc&) {
        err << "veltro.exe: restoration failed: " << input << ": out of memory\n";
    } catch (const cv::Exception& e) {
        err << "veltro.exe: restoration failed: " << input << ": " << e.err << "\n";
    } catch (const std::exception& e) {
        err << "veltro.exe: restoration failed: " << input << ": " << e.what() << "\n";
    }
    return kExitInternal;
}

}  // namespace veltro
