#include "processing/ParamFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace paramfile {

namespace {

QByteArray Line(const char* pszKey, const QByteArray& value)
{
    QByteArray line(pszKey);
    line += '\t';
    line += value;
    line += '\n';
    return line;
}

QString SystemReason(int nErrno)
{
    return QString::fromLocal8Bit(std::strerror(nErrno));
}

} // namespace

QByteArray IntLine(const char* pszKey, int32_t nValue)
{
    return Line(pszKey, QByteArray::number(nValue));
}

QByteArray UnsignedLine(const char* pszKey, uint32_t nValue)
{
    // "%d" of an unsigned: the same 32 bits read as a signed number.
    return IntLine(pszKey, static_cast<int32_t>(nValue));
}

QByteArray FloatLine(const char* pszKey, float fValue)
{
    // "%f" of the value widened to double. std::to_chars writes what printf
    // writes in the C locale, but never depends on the current locale: the
    // application sets the user's locale at start-up, and a decimal comma
    // would make the file unreadable for the engine.
    char buf[512];  // the longest "%f" of a float is about 50 characters
    const auto result = std::to_chars(buf, buf + sizeof buf, static_cast<double>(fValue),
                                      std::chars_format::fixed, 6);
    return Line(pszKey, QByteArray(buf, static_cast<int>(result.ptr - buf)));
}

QByteArray StringLine(const char* pszKey, const QString& strValue)
{
    return Line(pszKey, QFile::encodeName(strValue));
}

bool Write(const QString& strPath, const QByteArray& lines, bool bAppend, QString* pstrError)
{
    auto fail = [pstrError](int nErrno) {
        if (pstrError)
            *pstrError = SystemReason(nErrno);
        return false;
    };

    const QByteArray path = QFile::encodeName(strPath);
    FILE* pFile = std::fopen(path.constData(), bAppend ? "a" : "w");
    if (!pFile)
        return fail(errno);

    // Where the file ended before this write, so that a failed write can be
    // cut back to it: the engine must never find a half-written file.
    long nStart = 0;
    if (bAppend && std::fseek(pFile, 0, SEEK_END) == 0)
        nStart = std::max(0L, std::ftell(pFile));

    int nError = 0;
    errno = 0;
    if (!lines.isEmpty()
        && std::fwrite(lines.constData(), 1, static_cast<size_t>(lines.size()), pFile) != static_cast<size_t>(lines.size()))
        nError = errno ? errno : EIO;
    if (!nError && std::fflush(pFile) != 0)
        nError = errno ? errno : EIO;
    if (nError) {
        if (ftruncate(fileno(pFile), nStart) != 0) {
            // Nothing more can be done; the reason of the write stands.
        }
    }
    if (std::fclose(pFile) != 0 && !nError)
        nError = errno ? errno : EIO;
    if (nError)
        return fail(nError);

    if (pstrError)
        pstrError->clear();
    return true;
}

} // namespace paramfile
