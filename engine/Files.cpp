#include "engine/Files.h"

#include "engine/EngineError.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace veltro {

namespace {

const char* const kCannotWrite = "cannot write output";
const char kTempPrefix[] = ".veltro-";
constexpr size_t kTempNameLength = sizeof kTempPrefix - 1 + 6;
constexpr time_t kStaleSeconds = 60;

// The temporaries being written, for the signal handler: plain buffers it
// may read at any moment. A slot is filled before it is marked used and
// marked unused before it is reused.
constexpr int kSlots = 4;
char g_tempNames[kSlots][PATH_MAX];
volatile sig_atomic_t g_tempUsed[kSlots];

extern "C" void RemoveTemporariesAndExit(int sig)
{
    for (int i = 0; i < kSlots; ++i)
        if (g_tempUsed[i])
            unlink(g_tempNames[i]);
    _exit(kExitSignal + sig);
}

// Blocks the signals that remove temporaries while a name is created or
// given away, so the handler never sees a half-done change.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        sigprocmask(SIG_BLOCK, &set, &m_old);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &m_old, nullptr); }

private:
    sigset_t m_old;
};

int TakeSlot(const std::string& name)
{
    if (name.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < kSlots; ++i)
        if (!g_tempUsed[i]) {
            std::memcpy(g_tempNames[i], name.c_str(), name.size() + 1);
            g_tempUsed[i] = 1;
            return i;
        }
    return -1;
}

std::string DirectoryOf(const std::string& path)
{
    const std::string dir = fs::path(path).parent_path().string();
    return dir.empty() ? std::string(".") : dir;
}

std::string RandomTempName(const std::string& dir)
{
    static std::mt19937_64 rng(std::random_device{}() ^ (uint64_t(getpid()) << 32));
    const char* const letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name = kTempPrefix;
    for (int i = 0; i < 6; ++i)
        name += letters[rng() % 62];
    return (fs::path(dir) / name).string();
}

bool IsReadOnly(const struct stat& st)
{
    if (st.st_uid == geteuid())
        return (st.st_mode & S_IWUSR) == 0;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::vector<uint8_t> ReadRegularFile(const std::string& path, const std::string& what, size_t maxBytes,
                                     int tooLargeStatus)
{
    if (path.empty())
        throw EngineError(kExitUnreadable, what, "\"\"", "no file named");
    // Opening without waiting: a FIFO with no writer would otherwise block.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        throw EngineError(kExitUnreadable, what, path, error == ENOENT ? "no such file" : std::strerror(error));
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool dir = S_ISDIR(st.st_mode);
        close(fd);
        throw EngineError(kExitUnreadable, what, path, dir ? "is a directory" : "not a regular file");
    }
    const auto tooLarge = [&](unsigned long long size) {
        close(fd);
        return EngineError(tooLargeStatus, what, path,
                           "the file is too large (" + std::to_string(size) + " bytes; at most " +
                               std::to_string(maxBytes) + ")");
    };
    if (static_cast<unsigned long long>(st.st_size) > maxBytes)
        throw tooLarge(static_cast<unsigned long long>(st.st_size));
    std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
    size_t done = 0;
    for (;;) {
        if (done == bytes.size()) {
            // The file may have grown since: read on, within the limit.
            if (bytes.size() >= maxBytes + 1)
                throw tooLarge(bytes.size());
            bytes.resize(std::min(maxBytes + 1, std::max<size_t>(bytes.size() * 2, 4096)));
        }
        const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            throw EngineError(kExitUnreadable, what, path, std::strerror(error));
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    if (done > maxBytes)
        throw tooLarge(done);
    bytes.resize(done);
    return bytes;
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return !a.empty() && !b.empty() && fs::equivalent(a, b, ec) && !ec;
}

std::string OutputTarget(const std::string& path)
{
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return p;
        std::vector<char> buffer(PATH_MAX);
        const ssize_t n = readlink(p.c_str(), buffer.data(), buffer.size());
        if (n <= 0 || static_cast<size_t>(n) >= buffer.size())
            return p;
        const std::string link(buffer.data(), static_cast<size_t>(n));
        p = link[0] == '/' ? link : (fs::path(DirectoryOf(p)) / link).string();
    }
    throw EngineError(kExitUnwritable, kCannotWrite, path, "too many levels of symbolic links");
}

void CheckOutputPath(const std::string& path)
{
    const std::string target = OutputTarget(path);
    struct stat st {};
    if (stat(DirectoryOf(target).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw EngineError(kExitUnwritable, kCannotWrite, path, "its directory does not exist");
    if (stat(target.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode))
        throw EngineError(kExitUnwritable, kCannotWrite, path, "is a directory");
    if (!S_ISREG(st.st_mode))
        throw EngineError(kExitUnwritable, kCannotWrite, path, "not a regular file");
    // Someone took the write permission away to keep this file: a rename
    // would replace it all the same, so the engine refuses.
    if (IsReadOnly(st))
        throw EngineError(kExitUnwritable, kCannotWrite, path, "the file is read-only");
}

OutputFile::OutputFile(const std::string& path) : m_path(path), m_target(OutputTarget(path))
{
    const std::string dir = DirectoryOf(m_target);
    RemoveStaleTemporaries(dir);
    // An unnamed file in the directory, given a name only once complete.
#ifdef O_TMPFILE
    if (access("/proc/self/fd", X_OK) == 0)
        m_fd = open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
    if (m_fd < 0) {
        const SignalsHeld held;
        std::string name = (fs::path(dir) / (std::string(kTempPrefix) + "XXXXXX")).string();
        m_fd = mkstemp(name.data());
        if (m_fd < 0)
            Fail(errno);
        m_temp = name;
        m_slot = TakeSlot(m_temp);
        fcntl(m_fd, F_SETFD, FD_CLOEXEC);
        // mkstemp makes the file private; give it the permissions a new file gets.
        const mode_t mask = umask(0);
        umask(mask);
        if (fchmod(m_fd, 0666 & ~mask) != 0)
            Fail(errno);
    }
    // Held while the engine runs: a later run never takes it for litter.
    flock(m_fd, LOCK_EX | LOCK_NB);
}

OutputFile::~OutputFile()
{
    if (m_fd >= 0)
        close(m_fd);
    if (!m_committed && !m_temp.empty())
        unlink(m_temp.c_str());
    ForgetTemporary();
}

void OutputFile::ForgetTemporary()
{
    if (m_slot >= 0)
        g_tempUsed[m_slot] = 0;
    m_slot = -1;
}

void OutputFile::Fail(int error)
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    if (!m_temp.empty())
        unlink(m_temp.c_str());
    m_temp.clear();
    ForgetTemporary();
    throw EngineError(kExitUnwritable, kCannotWrite, m_path, std::strerror(error));
}

void OutputFile::Write(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = write(m_fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            Fail(errno);
        p += n;
        size -= static_cast<size_t>(n);
    }
}

void OutputFile::Commit()
{
    if (fsync(m_fd) != 0)
        Fail(errno);
    const std::string dir = DirectoryOf(m_target);
    if (m_temp.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        for (int attempt = 0; m_temp.empty(); ++attempt) {
            const SignalsHeld held;
            const std::string name = RandomTempName(dir);
            if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                m_temp = name;
                m_slot = TakeSlot(m_temp);
            } else if (errno != EEXIST || attempt > 100) {
                Fail(errno);
            }
        }
    }
    {
        const SignalsHeld held;
        if (std::rename(m_temp.c_str(), m_target.c_str()) != 0)
            Fail(errno);
        m_committed = true;
        ForgetTemporary();
    }
    close(m_fd);
    m_fd = -1;
    // The rename itself is made durable with the directory.
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
}

void OutputFile::Remove()
{
    if (m_committed)
        unlink(m_target.c_str());
    m_committed = false;
}

void RemoveStaleTemporaries(const std::string& dir)
{
    DIR* d = opendir(dir.c_str());
    if (!d)
        return;
    const time_t now = time(nullptr);
    while (const dirent* e = readdir(d)) {
        if (std::strncmp(e->d_name, kTempPrefix, sizeof kTempPrefix - 1) != 0 ||
            std::strlen(e->d_name) != kTempNameLength)
            continue;
        struct stat st {};
        if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != geteuid() || now - st.st_mtime < kStaleSeconds)
            continue;
        const int fd = openat(dirfd(d), e->d_name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A running engine holds its temporary locked.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            unlinkat(dirfd(d), e->d_name, 0);
        close(fd);
    }
    closedir(d);
}

void InstallSignalCleanup()
{
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesAndExit;
    sigemptyset(&action.sa_mask);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &action, nullptr);
}

}  // namespace veltro
