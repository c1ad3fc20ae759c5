#include "engine/CommandLine.h"
#include "engine/EngineError.h"

#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace veltro {

namespace {
constexpr double kEncodeShare = 0.8;
}  // namespace

cv::Mat ReadPicture(const std::string& path, bool grey, const std::string& what)
{
    std::error_code ec;
    if (path.empty())
        throw EngineError(kExitUnreadable, what, "\"\"", "no file named");
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status))
        throw EngineError(kExitUnreadable, what, path, "no such file");
    if (fs::is_directory(status))
        throw EngineError(kExitUnreadable, what, path, "is a directory");
    cv::Mat picture;
    try {
        // Pictures are taken as stored: the front end's positions refer to
        // the stored pixel grid, not to an EXIF-rotated one.
        picture = cv::imread(path, (grey ? cv::IMREAD_GRAYSCALE : cv::IMREAD_COLOR) | cv::IMREAD_IGNORE_ORIENTATION);
    } catch (const cv::Exception&) {
        picture.release();
    }
    if (picture.empty()) {
        if (access(path.c_str(), R_OK) != 0)
            throw EngineError(kExitUnreadable, what, path, std::strerror(errno));
        throw EngineError(kExitUnreadable, what, path, "not a picture that can be decoded");
    }
    return picture;
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return !a.empty() && !b.empty() && fs::equivalent(a, b, ec) && !ec;
}

void WriteJpegAtomically(const cv::Mat& image, const std::string& path, const Progress& progress)
{
    const char* what = "cannot write output";
    std::vector<uchar> bytes;
    if (!cv::imencode(".jpg", image, bytes, {cv::IMWRITE_JPEG_QUALITY, 95}))
        throw EngineError(kExitUnwritable, what, path, "JPEG encoding failed");
    // Encoding takes most of the time; writing and syncing the rest.
    progress.Report(kEncodeShare);

    fs::path dir = fs::path(path).parent_path();
    if (dir.empty())
        dir = ".";
    std::string temp = (dir / ".veltro-XXXXXX").string();
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0)
        throw EngineError(kExitUnwritable, what, path, std::strerror(errno));
    temp = name.data();

    auto fail = [&](int error) {
        close(fd);
        unlink(temp.c_str());
        throw EngineError(kExitUnwritable, what, path, std::strerror(error));
    };
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    // mkstemp makes the file private; give it the permissions a new file gets.
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0 || fsync(fd) != 0)
        fail(errno);
    if (close(fd) != 0) {
        const int error = errno;
        unlink(temp.c_str());
        throw EngineError(kExitUnwritable, what, path, std::strerror(error));
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        unlink(temp.c_str());
        throw EngineError(kExitUnwritable, what, path, std::strerror(error));
    }
    progress.Report(1.0);
}

}  // namespace veltro
