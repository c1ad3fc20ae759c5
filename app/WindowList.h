#pragma once

#include <QString>
#include <QStringList>

// The rules of the Window menu's list of open windows and of stepping
// through them, as plain functions.
namespace windowlist {

// Windows listed by number; more go into "More Windows...".
constexpr int kListed = 9;

// The menu texts for windows with these titles, in their order: "&1 title"
// ... "&9 title" (an '&' of a title doubled, so that it shows rather than
// marking a key), then "&More Windows..." when there are more than nine.
QStringList MenuTexts(const QStringList& titles);

// The window Next (nStep 1) or Previous (-1) goes to from nCurrent among
// nCount, round the end; the first or last when none is current (-1), and
// -1 when there are none.
int Step(int nCurrent, int nCount, int nStep);

} // namespace windowlist
