#pragma once
// The engine's dealings with the file system: reading only regular files,
// and writing outputs so that a failed, stopped or killed run leaves the old
// file or the complete new one and no litter.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

// The whole of a regular file. Throws EngineError with exit status 3 naming
// `path` when it is missing, unreadable, a directory or not a regular file
// (a FIFO or a device is never opened for reading, so nothing can hang), and
// with `tooLargeStatus` when it holds more than `maxBytes`.
std::vector<uint8_t> ReadRegularFile(const std::string& path, const std::string& what, size_t maxBytes,
                                     int tooLargeStatus);

// True when `a` and `b` name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// Where writing to `path` lands: a symbolic link is followed to the file it
// names (the link stays a link), so the result replaces that file.
std::string OutputTarget(const std::string& path);

// Checks before any work that `path` can become an output: its directory
// exists, and it is not an existing directory or a read-only file. Throws
// EngineError (exit 5).
void CheckOutputPath(const std::string& path);

// An output being written. The data go to a temporary file in the target's
// directory: an unnamed one where the file system allows (nothing is left if
// the engine is killed), else ".veltro-XXXXXX", which SIGINT, SIGTERM and
// SIGHUP remove (see InstallSignalCleanup) and which a later run removes if
// a killed run left it. Commit() puts the file in place with one rename and
// syncs the directory; until then the old file stays as it was. Failures
// throw EngineError (exit 5) naming the output.
class OutputFile {
public:
    explicit OutputFile(const std::string& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(const void* data, size_t size);
    void Commit();
    // Takes the committed file away again (when a later output of the same
    // run fails).
    void Remove();

private:
    [[noreturn]] void Fail(int error);
    void ForgetTemporary();

    std::string m_path;      // as given, for messages
    std::string m_target;    // the file that is replaced
    std::string m_temp;      // the temporary's name, once it has one
    int m_fd = -1;
    int m_slot = -1;         // its place among the names the signal handler removes
    bool m_committed = false;
};

// Removes, from `dir`, temporaries ".veltro-XXXXXX" of this user older than
// a minute that no running engine holds: what a killed run left behind.
void RemoveStaleTemporaries(const std::string& dir);

// SIGINT, SIGTERM and SIGHUP remove the temporaries being written and end
// the engine with exit status 128 + the signal's number.
void InstallSignalCleanup();

}  // namespace veltro
