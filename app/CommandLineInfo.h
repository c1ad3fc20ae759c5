#pragma once

#include <QStringList>

// What the program takes from its command line: only whether to show the
// splash screen. A switch ("/" or "-") named "Embedding" or "Automation",
// in any letter case, turns it off; everything else, file names included,
// is ignored.
bool ShowSplashFromArguments(const QStringList& arguments);
