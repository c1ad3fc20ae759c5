#pragma once
// The one kind of failure the engine reports: an exit status and the three
// parts of its one-line message "veltro.exe: <what>: <subject>: <reason>".
// Subject and reason come from files and may hold anything: they are kept
// escaped, so the message is always one line.

#include <cstdio>
#include <stdexcept>
#include <string>

namespace veltro {

// `text` with its control characters shown as escapes (\r, \n, \t, \xNN), so
// that a message naming a file or a value always stays on one line.
inline std::string Escaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (u < 0x20 || u == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else
            out += c;
    }
    return out;
}

// Exit statuses of veltro.exe.
enum ExitCode {
    kExitOk = 0,
    kExitInternal = 1,      // the work itself failed (out of memory, ...)
    kExitUsage = 2,         // the command line is wrong
    kExitUnreadable = 3,    // an input, the mask or the parameter file cannot be read
    kExitInvalid = 4,       // the parameter file is invalid
    kExitUnwritable = 5,    // the output cannot be written
    kExitSignal = 128,      // plus the signal's number: stopped by SIGINT, SIGTERM or SIGHUP
};

class EngineError : public std::runtime_error {
public:
    EngineError(int exitCode, std::string what, std::string subject, std::string reason)
        : std::runtime_error("veltro.exe: " + what + ": " + Escaped(subject) + ": " + Escaped(reason)),
          m_exitCode(exitCode), m_what(std::move(what)), m_subject(Escaped(subject)),
          m_reason(Escaped(reason)) {}

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
