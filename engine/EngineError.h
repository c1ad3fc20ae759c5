#pragma once
// The one kind of failure the engine reports: an exit status and the three
// parts of its one-line message "veltro.exe: <what>: <subject>: <reason>".

#include <stdexcept>
#include <string>

namespace veltro {

// Exit statuses of veltro.exe.
enum ExitCode {
    kExitOk = 0,
    kExitInternal = 1,      // the work itself failed (out of memory, ...)
    kExitUsage = 2,         // the command line is wrong
    kExitUnreadable = 3,    // an input, the mask or the parameter file cannot be read
    kExitInvalid = 4,       // the parameter file is invalid
    kExitUnwritable = 5,    // the output cannot be written
};

class EngineError : public std::runtime_error {
public:
    EngineError(int exitCode, std::string what, std::string subject, std::string reason)
        : std::runtime_error("veltro.exe: " + what + ": " + subject + ": " + reason),
          m_exitCode(exitCode), m_what(std::move(what)), m_subject(std::move(subject)),
          m_reason(std::move(reason)) {}

    int ExitStatus() const { return m_exitCode; }
    const std::string& What() const { return m_what; }
    const std::string& Subject() const { return m_subject; }
    const std::string& Reason() const { return m_reason; }

private:
    int m_exitCode;
    std::string m_what;
    std::string m_subject;
    std::string m_reason;
};

// Shorthand for the most common failure: a bad value of a parameter.
inline EngineError InvalidParameter(const std::string& key, const std::string& reason)
{
    return EngineError(kExitInvalid, "invalid parameter", key, reason);
}

}  // namespace veltro
