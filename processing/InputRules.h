#pragma once

#include <QString>
#include <cstdint>

// The parse and display rules of the parameter dialogs' edit fields. All
// four dialogs read their numbers through these functions, so a field
// behaves the same wherever it appears.
namespace inputrules {

extern const char* const kMsgInteger;          // "Please enter an integer."
extern const char* const kMsgPositiveInteger;  // "Please enter a positive integer."
extern const char* const kMsgNumber;           // "Please enter a number."

// Unsigned decimal, blanks and tabs allowed before and after; empty text, a
// minus sign or anything else fails. A number too large for 32 bits gives
// 4294967295.
bool ParseUnsigned(const QString& strText, uint32_t& nValue);
// Signed decimal integer (optional sign), blanks and tabs around it allowed.
bool ParseInt(const QString& strText, int32_t& nValue);
// A decimal number, optionally signed and with an exponent, blanks and tabs
// around it allowed. A value of zero is taken only when the text (after the
// leading blanks) starts with the digit 0: "0" and "0.0" pass, ".0" fails.
bool ParseFloat(const QString& strText, float& fValue);

// How a field shows its value when the dialog opens: unsigned and signed in
// decimal, float with "%.*g" and 6 significant digits (3.0 shows "3").
QString FormatUnsigned(uint32_t nValue);
QString FormatInt(int32_t nValue);
QString FormatFloat(float fValue);

} // namespace inputrules
