#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// Writing the engine's parameter files: one parameter per line, the key, one
// tab, the value, a line feed. Whole numbers are written with "%d" (so an
// unsigned value above 2147483647 is written as the negative number with the
// same 32 bits), real numbers with "%f", paths as they stand.
namespace paramfile {

QByteArray IntLine(const char* pszKey, int32_t nValue);
QByteArray UnsignedLine(const char* pszKey, uint32_t nValue);  // written with "%d"
QByteArray FloatLine(const char* pszKey, float fValue);        // widened to double, "%f"
QByteArray StringLine(const char* pszKey, const QString& strValue);

// Writes (bAppend false: creates or truncates) or appends (bAppend true)
// the given lines and closes the file. On failure nothing is left half
// written as far as the system allows, and *pstrError holds the system's
// reason (for example "No such file or directory").
bool Write(const QString& strPath, const QByteArray& lines, bool bAppend, QString* pstrError);

} // namespace paramfile
