#pragma once
// The engine's parameter file: one "KEY<tab>VALUE" per line, ended by LF,
// CR LF or CR, a UTF-8 byte-order mark at the start allowed. Every value is
// checked where it is read, and a failure names the key and the value.

#include <climits>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace veltro {

class ParamFile {
public:
    // Reads `path`; throws EngineError (exit 3) when it cannot be read or is
    // not a regular file, exit 4 when it is larger than 1 MB. Keys not in
    // `knownKeys` are reported on `warnings` (the first ten, then a count)
    // and ignored; a repeated key keeps its last value.
    static ParamFile Load(const std::string& path, const std::vector<std::string>& knownKeys,
                          std::ostream& warnings);
    // The same from text already in memory (`path` only names it in messages).
    static ParamFile Parse(const std::string& text, const std::string& path,
                           const std::vector<std::string>& knownKeys, std::ostream& warnings);

    bool Has(const std::string& key) const { return m_values.count(key) != 0; }
    // A whole number within [minValue, maxValue]; throws EngineError (exit 4)
    // when the key is missing, the value does not parse or is out of range.
    int Int(const std::string& key, long long minValue = INT_MIN, long long maxValue = INT_MAX) const;
    // A finite real number within [minValue, maxValue].
    double Real(const std::string& key, double minValue = -1e300, double maxValue = 1e300) const;
    // The value as it stands; empty values are refused.
    const std::string& Text(const std::string& key) const;

    const std::string& Path() const { return m_path; }

private:
    const std::string& Raw(const std::string& key) const;

    std::string m_path;
    std::map<std::string, std::string> m_values;
};

// Parsers used by ParamFile, exposed for the tests: true when the whole of
// `text` (blanks and tabs around it allowed) is a number.
bool ParseWholeNumber(const std::string& text, long long& value);
bool ParseRealNumber(const std::string& text, double& value);

}  // namespace veltro
