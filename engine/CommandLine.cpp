#include "engine/CommandLine.h"

#include "engine/EngineError.h"
#include "engine/Files.h"
#include "engine/ImageFiles.h"
#include "engine/ParamFile.h"
#include "engine/Restoration.h"

#include "VeltroVersion.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
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
    if (a == "-i" || a == "-o" || a == "-m" || a == "--help" || a == "--version")
        return true;
    for (const auto& s : kSwitches)
        if (a == s.name)
            return true;
    return false;
}

// Largest number of directions the crack search may try per step.
constexpr double kMaxDirections = 3600;

// Where the stages of a run end, as shares of its time: reading the picture
// (and the mask), the restoration, encoding, then writing the output.
constexpr double kReadDone = 0.12;
constexpr double kReadWithMaskDone = 0.16;
constexpr double kRestorationDone = 0.90;
constexpr double kEncodeDone = 0.98;

}  // namespace

std::string UsageText()
{
    return "usage: veltro.exe -i INPUT -gorex|-crax|-fox|-crease PARAMFILE -o OUTPUT [-m CHANGED]\n"
           "       veltro.exe --help | --version\n"
           "\n"
           "Restores the picture INPUT (JPEG, TIFF or PNG) and writes the result to OUTPUT.\n"
           "The pairs may come in any order.\n"
           "  -gorex   blotch removal; PARAMFILE keys DIST, COST, MASKFILE. MASKFILE marks\n"
           "           the blotches light (128 or more). DIST is how far beyond the mask the\n"
           "           engine looks for a blotch's soft edge: in that band, pixels that match\n"
           "           their surroundings are kept and partly covered ones are unblended; it\n"
           "           is not a band always rebuilt. The ring of width COST around each\n"
           "           blotch supplies the reconstruction.\n"
           "  -crax    crack removal; THRWHITE, DEGSTART, STEP_ANGLE, DEGSTOP, Y1, X1, Y2, X2.\n"
           "           Traces the crack between the two points and fills only its pixels;\n"
           "           where no crack runs between the points, nothing changes.\n"
           "  -fox     foxing removal; DIST, COST, AMP. Finds the brown spots on paper and\n"
           "           in the light areas of photographs that depart from the background\n"
           "           by more than AMP (0.05 = 5 %), and removes their stain.\n"
           "  -crease  crease removal; THR1, Q, N, Y1, X1, Y2, X2. Works only inside the\n"
           "           region; the crease may cross it at any angle.\n"
           "  -m CHANGED  also writes CHANGED, a PNG mask: 255 where the restoration\n"
           "           changed a pixel, 0 elsewhere.\n"
           "PARAMFILE holds one KEY<tab>VALUE per line. Y keys are columns (0 = left),\n"
           "X keys are rows counted from the bottom (0 = bottom row). A size or distance\n"
           "beyond the picture's diagonal counts as the diagonal.\n"
           "\n"
           "OUTPUT's format follows its name: .jpg or .jpeg JPEG, .tif or .tiff TIFF,\n"
           ".png PNG; any other name is refused. Metadata (EXIF, ICC profile, resolution,\n"
           "comments) is carried over. Pixels the restoration does not change keep their\n"
           "stored values: a JPEG made from a JPEG keeps the coded data of every block\n"
           "(MCU) without a repaired pixel; TIFF and PNG keep 16-bit samples and alpha.\n"
           "Do no harm: when nothing needs repair, OUTPUT equals INPUT (the very same file\n"
           "when the format is the same), one line on standard error says so, and the\n"
           "exit status is 0. OUTPUT is written to a temporary file and renamed into\n"
           "place; INPUT, the mask and PARAMFILE are never overwritten.\n"
           "While it works, the engine writes lines \"progress N\" (N = 0..100, growing)\n"
           "to its standard output; \"progress 100\" comes once OUTPUT is written.\n"
           "\n"
           "Exit status: 0 written; 1 the restoration itself failed; 2 usage error; 3 an\n"
           "input, the mask or the parameter file cannot be read; 4 the parameter file\n"
           "is invalid; 5 the output cannot be written; 128+N stopped by signal N\n"
           "(SIGINT, SIGTERM, SIGHUP), the temporary file removed.\n";
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
        if (a != "-i" && a != "-o" && a != "-m" && op == Operation::None)
            throw EngineError(kExitUsage, kUsageWhat, a, "unknown argument; see veltro.exe --help");
        if (i + 1 >= args.size() || IsSwitch(args[i + 1]))
            throw EngineError(kExitUsage, kUsageWhat, a, "a path must follow it");
        const std::string& value = args[++i];
        if (a == "-i" || a == "-o" || a == "-m") {
            std::string& target = a == "-i" ? cl.input : a == "-o" ? cl.output : cl.changedMask;
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
    FileFormat format;
    if (!FormatFromName(cl.output, format))
        throw EngineError(kExitUsage, kUsageWhat, cl.output,
                          "the output's name must end in .jpg, .jpeg, .tif, .tiff or .png (its format follows it)");
    return cl;
}

namespace {

// True when `a` and `b` name the same file, existing or about to be.
bool NamesSameFile(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    std::error_code ec1, ec2;
    const fs::path ca = fs::weakly_canonical(OutputTarget(a), ec1), cb = fs::weakly_canonical(OutputTarget(b), ec2);
    return SameFile(a, b) || (!ec1 && !ec2 && ca == cb);
}

void RefuseOverwriting(const std::string& output, const std::string& other, const char* what)
{
    if (NamesSameFile(output, other))
        throw EngineError(kExitUnwritable, "cannot write output", output,
                          std::string("it names the ") + what + ", which is never overwritten");
}

// A size or distance beyond the picture's diagonal reaches every pixel: it
// counts as the diagonal, so that no restoration computes with more.
int WithinPicture(int value, cv::Size size)
{
    const double diagonal = std::ceil(std::hypot(double(size.width), double(size.height)));
    return int(std::min<double>(value, diagonal));
}

std::string Point(int y, int x)
{
    return "(" + std::to_string(y) + "," + std::to_string(x) + ")";
}

// Writes `bytes` to `output` and, when asked, the changed mask to its
// path; the mask first, so that a failed output takes it away again.
void WriteOutputs(const std::vector<uint8_t>& bytes, const CommandLine& cl, const std::vector<uint8_t>& mask,
                  const Progress& progress)
{
    std::unique_ptr<OutputFile> maskFile;
    if (!cl.changedMask.empty()) {
        maskFile = std::make_unique<OutputFile>(cl.changedMask);
        maskFile->Write(mask.data(), mask.size());
    }
    OutputFile output(cl.output);
    output.Write(bytes.data(), bytes.size());
    progress.Report(0.5);
    if (maskFile)
        maskFile->Commit();
    try {
        output.Commit();
    } catch (...) {
        if (maskFile)
            maskFile->Remove();
        throw;
    }
    progress.Report(1.0);
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

    // No output may take the place of a file the run reads, and every
    // output must be writable, before any work is done.
    for (const std::string* o : {&cl.output, &cl.changedMask}) {
        if (o->empty())
            continue;
        RefuseOverwriting(*o, cl.input, "input picture");
        RefuseOverwriting(*o, maskFile, "mask");
        RefuseOverwriting(*o, cl.paramFile, "parameter file");
        CheckOutputPath(*o);
    }
    if (NamesSameFile(cl.changedMask, cl.output))
        throw EngineError(kExitUsage, kUsageWhat, "-m", "the changed mask cannot be the output itself");
    FileFormat format = FileFormat::Jpeg;
    FormatFromName(cl.output, format);

    // The parameters are accepted: the run begins. The shares below follow
    // the time each stage takes on a large picture.
    const Progress progress(ProgressLines(out));
    progress.Report(0.0);
    const bool withMask = cl.operation == Operation::Blotch;
    const double readDone = withMask ? kReadWithMaskDone : kReadDone;
    const Picture picture = ReadPicture(cl.input, "cannot read input picture", err);
    progress.Report(kReadDone);
    cv::Mat mask;
    if (withMask) {
        mask = GreyOf(ReadPicture(maskFile, "cannot read mask", err));
        progress.Report(readDone);
        if (mask.size() != picture.bgr.size()) {
            std::ostringstream r;
            r << "the mask is " << mask.cols << "x" << mask.rows << " but the picture is " << picture.bgr.cols
              << "x" << picture.bgr.rows;
            throw InvalidParameter("MASKFILE", r.str());
        }
    }
    const cv::Size size = picture.bgr.size();
    dist = WithinPicture(dist, size);
    cost = WithinPicture(cost, size);
    q = WithinPicture(q, size);
    n = WithinPicture(n, size);

    // The decoded input stays as it is: it tells what the restoration changed.
    cv::Mat image = picture.bgr.clone();
    const Progress restoring = progress.Sub(readDone, kRestorationDone);
    std::string nothingFound;
    switch (cl.operation) {
    case Operation::Blotch:
        RemoveBlotches(image, mask, dist, cost, nullptr, restoring);
        nothingFound = cv::countNonZero(mask >= 128) == 0 ? "the mask marks no blotch"
                                                          : "the blotches marked need no change";
        break;
    case Operation::Crack: {
        CrackParams p;
        p.thrWhite = thrWhite;
        p.degStart = degStart;
        p.stepAngle = stepAngle;
        p.degStop = degStop;
        p.start = ClampedPoint(size, y1, x1);
        p.end = ClampedPoint(size, y2, x2);
        RemoveCrack(image, p, nullptr, restoring);
        nothingFound = "no crack found between " + Point(y1, x1) + " and " + Point(y2, x2);
        break;
    }
    case Operation::Foxing:
        RemoveFoxing(image, dist, cost, amp, nullptr, restoring);
        nothingFound = "no foxing found";
        break;
    case Operation::Crease: {
        const cv::Rect region = RegionFromCorners(size, y1, x1, y2, x2);
        const std::string corners = Point(y1, x1) + "-" + Point(y2, x2);
        if (region.empty())
            nothingFound = "the region " + corners + " lies outside the picture";
        else {
            RemoveCrease(image, region, thr1, q, n, nullptr, restoring);
            nothingFound = "no crease found in the region " + corners;
        }
        break;
    }
    case Operation::None: break;
    }
    restoring.Report(1.0);

    uint64_t changedCount = 0;
    const cv::Mat changed = ChangedPixels(picture.bgr, image, changedCount);
    std::vector<uint8_t> bytes;
    if (changedCount == 0) {
        err << "veltro.exe: " << nothingFound << "; the picture is left unchanged\n";
        // Do no harm: the same format gets the very same file.
        if (format == picture.format)
            bytes = *picture.bytes;
    }
    if (bytes.empty())
        bytes = EncodePicture(picture, image, changed, format, cl.output, err);
    const std::vector<uint8_t> maskBytes = cl.changedMask.empty() ? std::vector<uint8_t>()
                                                                  : EncodeMaskPng(changed, cl.changedMask);
    progress.Report(kEncodeDone);
    WriteOutputs(bytes, cl, maskBytes, progress.Sub(kEncodeDone, 1.0));
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
