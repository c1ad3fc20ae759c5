#include "processing/InputRules.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>

namespace inputrules {

const char* const kMsgInteger = "Please enter an integer.";
const char* const kMsgPositiveInteger = "Please enter a positive integer.";
const char* const kMsgNumber = "Please enter a number.";

namespace {

bool IsBlank(QChar ch)
{
    return ch == QLatin1Char(' ') || ch == QLatin1Char('\t');
}

bool IsDigit(QChar ch)
{
    return ch >= QLatin1Char('0') && ch <= QLatin1Char('9');
}

// The text between the leading and the trailing blanks and tabs (other white
// space is not skipped and makes the field fail).
QString StripBlanks(const QString& strText)
{
    int nBegin = 0;
    int nEnd = strText.size();
    while (nBegin < nEnd && IsBlank(strText[nBegin]))
        ++nBegin;
    while (nEnd > nBegin && IsBlank(strText[nEnd - 1]))
        --nEnd;
    return strText.mid(nBegin, nEnd - nBegin);
}

// Reads "[sign]digits" with the sign allowed by bAllowMinus ('+' is always
// allowed). The magnitude saturates at nLimit; bNegative tells the sign.
bool ScanWhole(const QString& strCore, bool bAllowMinus, uint64_t nLimit,
               uint64_t& nMagnitude, bool& bNegative)
{
    int nPos = 0;
    bNegative = false;
    if (nPos < strCore.size() && (strCore[nPos] == QLatin1Char('+') || strCore[nPos] == QLatin1Char('-'))) {
        bNegative = strCore[nPos] == QLatin1Char('-');
        if (bNegative && !bAllowMinus)
            return false;
        ++nPos;
    }
    if (nPos == strCore.size())
        return false;
    nMagnitude = 0;
    for (; nPos < strCore.size(); ++nPos) {
        const QChar ch = strCore[nPos];
        if (!IsDigit(ch))
            return false;
        if (nMagnitude < nLimit) {
            nMagnitude = nMagnitude * 10 + static_cast<uint64_t>(ch.unicode() - '0');
            if (nMagnitude > nLimit)
                nMagnitude = nLimit;
        }
    }
    return true;
}

// A number that comes out as zero counts only when its text starts with the
// digit 0; so "+0", "-0" and ".0" are refused while "0", "00" and "0.0" pass.
bool ZeroIsWritten(const QString& strCore)
{
    return !strCore.isEmpty() && strCore[0] == QLatin1Char('0');
}

// Checks "[sign](digits[.digits] | .digits)[(e|E)[sign]digits]" and nothing
// else, so words such as "inf" or "nan" and hexadecimal forms are refused.
bool IsDecimalNumber(const QString& strCore)
{
    int nPos = 0;
    const int nSize = strCore.size();
    if (nPos < nSize && (strCore[nPos] == QLatin1Char('+') || strCore[nPos] == QLatin1Char('-')))
        ++nPos;
    int nMantissaDigits = 0;
    while (nPos < nSize && IsDigit(strCore[nPos])) {
        ++nPos;
        ++nMantissaDigits;
    }
    if (nPos < nSize && strCore[nPos] == QLatin1Char('.')) {
        ++nPos;
        while (nPos < nSize && IsDigit(strCore[nPos])) {
            ++nPos;
            ++nMantissaDigits;
        }
    }
    if (nMantissaDigits == 0)
        return false;
    if (nPos < nSize && (strCore[nPos] == QLatin1Char('e') || strCore[nPos] == QLatin1Char('E'))) {
        ++nPos;
        if (nPos < nSize && (strCore[nPos] == QLatin1Char('+') || strCore[nPos] == QLatin1Char('-')))
            ++nPos;
        int nExponentDigits = 0;
        while (nPos < nSize && IsDigit(strCore[nPos])) {
            ++nPos;
            ++nExponentDigits;
        }
        if (nExponentDigits == 0)
            return false;
    }
    return nPos == nSize;
}

} // namespace

bool ParseUnsigned(const QString& strText, uint32_t& nValue)
{
    const QString strCore = StripBlanks(strText);
    uint64_t nMagnitude = 0;
    bool bNegative = false;
    if (!ScanWhole(strCore, false, std::numeric_limits<uint32_t>::max(), nMagnitude, bNegative))
        return false;
    if (nMagnitude == 0 && !ZeroIsWritten(strCore))
        return false;
    nValue = static_cast<uint32_t>(nMagnitude);
    return true;
}

bool ParseInt(const QString& strText, int32_t& nValue)
{
    const QString strCore = StripBlanks(strText);
    uint64_t nMagnitude = 0;
    bool bNegative = false;
    // The negative side reaches one further than the positive one.
    const uint64_t nLimit = uint64_t(std::numeric_limits<int32_t>::max()) + 1;
    if (!ScanWhole(strCore, true, nLimit, nMagnitude, bNegative))
        return false;
    if (nMagnitude == 0 && !ZeroIsWritten(strCore))
        return false;
    if (bNegative)
        nValue = static_cast<int32_t>(-static_cast<int64_t>(nMagnitude));
    else
        nValue = static_cast<int32_t>(std::min<uint64_t>(nMagnitude, std::numeric_limits<int32_t>::max()));
    return true;
}

bool ParseFloat(const QString& strText, float& fValue)
{
    const QString strCore = StripBlanks(strText);
    if (!IsDecimalNumber(strCore))
        return false;
    // Read in the C notation whatever locale the application runs in (a
    // German locale would otherwise expect a decimal comma).
    static const locale_t s_cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const std::string strAscii = strCore.toStdString();
    char* pEnd = nullptr;
    const double dValue = strtod_l(strAscii.c_str(), &pEnd, s_cLocale);
    if (pEnd != strAscii.c_str() + strAscii.size())
        return false;
    // Zero also comes out of a value too small for a double ("1e-400").
    if (dValue == 0.0 && !ZeroIsWritten(strCore))
        return false;
    // A value beyond the range of a float would turn into infinity and reach
    // the engine as "inf"; it is refused like any text that is no number.
    if (std::fabs(dValue) > double(std::numeric_limits<float>::max()))
        return false;
    fValue = static_cast<float>(dValue);
    // A negative value too small for a float ("-1e-50") becomes a plain zero:
    // shown as "-0" it would not pass the next time the dialog is confirmed.
    if (fValue == 0.0f)
        fValue = 0.0f;
    return true;
}

QString FormatUnsigned(uint32_t nValue)
{
    return QString::number(nValue);
}

QString FormatInt(int32_t nValue)
{
    return QString::number(nValue);
}

QString FormatFloat(float fValue)
{
    // QString::asprintf formats in the C notation, whatever the locale.
    return QString::asprintf("%.*g", 6, static_cast<double>(fValue));
}

} // namespace inputrules
