#include "view/CChangesTool.h"

#include "document/CVeltroInterfaceDoc.h"
#include "view/CMaskLayer.h"
#include "view/CVeltroInterfaceView.h"

const QColor CChangesTool::kTint(255, 0, 255, 128);

CChangesTool::CChangesTool(CVeltroInterfaceView* pView, CMaskLayer* pChanged)
    : CViewTool(pView), m_pChanged(pChanged)
{
    pView->InvalidateAll();
}

CChangesTool::~CChangesTool()
{
    if (CVeltroInterfaceView* pView = View())
        pView->InvalidateAll();
}

QString CChangesTool::ChangedPixelsText(int64_t nChanged, int64_t nTotal)
{
    QString strCount = QString::number(nChanged);
    for (int i = strCount.size() - 3; i > 0; i -= 3)
        strCount.insert(i, QLatin1Char(','));
    const double fPercent = nTotal > 0 ? 100.0 * double(nChanged) / double(nTotal) : 0.0;
    // A few pixels of a big scan are not "0.00 %", nor all but a few "100.00 %".
    QString strPercent = QString::number(fPercent, 'f', 2);
    if (nChanged > 0 && strPercent == QLatin1String("0.00"))
        strPercent = QStringLiteral("< 0.01");
    else if (nChanged < nTotal && strPercent == QLatin1String("100.00"))
        strPercent = QStringLiteral("> 99.99");
    return QStringLiteral("%1 %2 changed (%3 %)")
        .arg(strCount, nChanged == 1 ? QStringLiteral("pixel") : QStringLiteral("pixels"), strPercent);
}

void CChangesTool::Paint(QPainter& painter, const QRect& rcExposed)
{
    if (m_pChanged != nullptr && View()->GetDocument() != nullptr)
        m_pChanged->Draw(painter, rcExposed, View()->GetDocument()->m_nZoom, kTint);
}
