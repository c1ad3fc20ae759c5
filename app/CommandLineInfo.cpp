#include "app/CommandLineInfo.h"

bool ShowSplashFromArguments(const QStringList& arguments)
{
    for (const QString& strArg : arguments) {
        if (strArg.size() < 2 || (strArg.at(0) != QLatin1Char('/') && strArg.at(0) != QLatin1Char('-')))
            continue;
        const QString strName = strArg.mid(1);
        if (strName.compare(QLatin1String("Embedding"), Qt::CaseInsensitive) == 0
            || strName.compare(QLatin1String("Automation"), Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}
