#include "app/WindowList.h"

namespace windowlist {

QStringList MenuTexts(const QStringList& titles)
{
    QStringList texts;
    for (int i = 0; i < titles.size() && i < kListed; ++i) {
        QString strTitle = titles.at(i);
        strTitle.replace(QLatin1Char('&'), QStringLiteral("&&"));
        texts.append(QStringLiteral("&%1 %2").arg(i + 1).arg(strTitle));
    }
    if (titles.size() > kListed)
        texts.append(QStringLiteral("&More Windows..."));
    return texts;
}

int Step(int nCurrent, int nCount, int nStep)
{
    if (nCount <= 0)
        return -1;
    if (nCurrent < 0 || nCurrent >= nCount)
        return nStep > 0 ? 0 : nCount - 1;
    return ((nCurrent + nStep) % nCount + nCount) % nCount;
}

} // namespace windowlist
