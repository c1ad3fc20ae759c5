#include "engine/ParamFile.h"

#include "engine/EngineError.h"
#include "engine/Files.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace veltro {

namespace {

// A parameter file is a few lines; anything much larger is something else.
constexpr size_t kMaxParamFileBytes = 1024 * 1024;
// Lines that are ignored are warned about one by one up to this many.
constexpr unsigned long long kShownWarnings = 10;

// 2759999 as "2,759,999".
std::string Grouped(unsigned long long n)
{
    std::string digits = std::to_string(n);
    for (int i = int(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(size_t(i), ",");
    return digits;
}

std::string Trimmed(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

}  // namespace

bool ParseWholeNumber(const std::string& text, long long& value)
{
    const std::string t = Trimmed(text);
    if (t.empty())
        return false;
    const size_t digits = (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (digits >= t.size())
        return false;
    for (size_t i = digits; i < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9')
            return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(t.c_str(), &end, 10);
    if (errno == ERANGE || *end != '\0')
        return false;
    value = v;
    return true;
}

bool ParseRealNumber(const std::string& text, double& value)
{
    const std::string t = Trimmed(text);
    if (t.empty())
        return false;
    // strtod would also take "inf", "nan" and hexadecimal numbers: a value the
    // front end writes with "%f" is plain decimal, so only that is accepted.
    for (char c : t)
        if (!std::strchr("0123456789+-.eE", c))
            return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

ParamFile ParamFile::Load(const std::string& path, const std::vector<std::string>& knownKeys,
                          std::ostream& warnings)
{
    std::vector<uint8_t> bytes;
    try {
        bytes = ReadRegularFile(path, "cannot read parameter file", kMaxParamFileBytes, kExitInvalid);
    } catch (const EngineError& e) {
        if (e.ExitStatus() != kExitInvalid)
            throw;
        throw EngineError(kExitInvalid, "invalid parameter file", path, e.Reason() + ": not a parameter file");
    }
    return Parse(std::string(bytes.begin(), bytes.end()), path, knownKeys, warnings);
}

ParamFile ParamFile::Parse(const std::string& text, const std::string& path,
                           const std::vector<std::string>& knownKeys, std::ostream& warnings)
{
    ParamFile file;
    file.m_path = path;
    const std::string where = "veltro.exe: warning: " + Escaped(path) + ": ";
    unsigned long long ignored = 0;
    const auto warn = [&](const std::string& message) {
        if (++ignored <= kShownWarnings)
            warnings << where << message << "\n";
    };
    // A byte-order mark that an editor may have put at the start is no part of the first key.
    size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (int lineNumber = 1; pos < text.size(); ++lineNumber) {
        // Lines end in LF, CR LF (files written on Windows) or CR alone.
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (Trimmed(line).empty())
            continue;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            warn("line " + std::to_string(lineNumber) + " has no tab between key and value, ignored");
            continue;
        }
        const std::string key = line.substr(0, tab);
        if (std::find(knownKeys.begin(), knownKeys.end(), key) == knownKeys.end()) {
            warn("unknown key \"" + Escaped(key) + "\" ignored");
            continue;
        }
        file.m_values[key] = line.substr(tab + 1);
    }
    if (ignored > kShownWarnings)
        warnings << where << "... and " << Grouped(ignored - kShownWarnings) << " more unknown lines\n";
    return file;
}

const std::string& ParamFile::Raw(const std::string& key) const
{
    auto it = m_values.find(key);
    if (it == m_values.end())
        throw InvalidParameter(key, "missing from " + m_path);
    return it->second;
}

int ParamFile::Int(const std::string& key, long long minValue, long long maxValue) const
{
    const std::string& raw = Raw(key);
    long long v = 0;
    if (!ParseWholeNumber(raw, v))
        throw InvalidParameter(key, "\"" + raw + "\" is not a whole number");
    if (v < minValue || v > maxValue) {
        std::string reason = std::to_string(v) + " is out of range";
        // An unsigned value above 2147483647 written with "%d" arrives here
        // negative: say so rather than take it for a huge size.
        if (minValue >= 0 && v < 0)
            reason = std::to_string(v) + " is negative (it must be " + std::to_string(minValue) + " or more)";
        else if (maxValue < INT_MAX)
            reason += " (" + std::to_string(minValue) + " to " + std::to_string(maxValue) + ")";
        else
            reason += " (at least " + std::to_string(minValue) + ")";
        throw InvalidParameter(key, reason);
    }
    return static_cast<int>(v);
}

double ParamFile::Real(const std::string& key, double minValue, double maxValue) const
{
    const std::string& raw = Raw(key);
    double v = 0;
    if (!ParseRealNumber(raw, v))
        throw InvalidParameter(key, "\"" + raw + "\" is not a number");
    if (v < minValue || v > maxValue) {
        std::ostringstream reason;
        reason << Trimmed(raw) << " is out of range (" << minValue << " to " << maxValue << ")";
        throw InvalidParameter(key, reason.str());
    }
    return v;
}

const std::string& ParamFile::Text(const std::string& key) const
{
    const std::string& raw = Raw(key);
    if (raw.empty())
        throw InvalidParameter(key, "empty value");
    return raw;
}

}  // namespace veltro
