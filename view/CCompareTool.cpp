#include "view/CCompareTool.h"

#include "document/CVeltroInterfaceDoc.h"
#include "view/CDisplayCache.h"
#include "view/CVeltroInterfaceView.h"
#include "view/ViewNavigation.h"

#include <QKeyEvent>

namespace {
// Set while one side moves the other, so that the other's move is not
// handed back.
bool g_bFollowing = false;
} // namespace

CCompareTool::CCompareTool(CVeltroInterfaceView* pView, bool bResult)
    : CViewTool(pView), m_bResult(bResult)
{
}

CCompareTool::~CCompareTool()
{
    if (CCompareTool* pPartner = m_pPartner) {
        pPartner->m_pPartner = nullptr;
        delete pPartner;
    }
}

void CCompareTool::Link(CVeltroInterfaceView* pResult, CVeltroInterfaceView* pSource)
{
    for (CVeltroInterfaceView* pView : {pResult, pSource})
        if (CCompareTool* pOld = Find<CCompareTool>(pView))
            pOld->Unlink();
    auto* pOne = new CCompareTool(pResult, true);
    auto* pOther = new CCompareTool(pSource, false);
    pOne->m_pPartner = pOther;
    pOther->m_pPartner = pOne;
}

void CCompareTool::Unlink()
{
    delete this;   // takes the partner with it
}

void CCompareTool::ViewMoved()
{
    CCompareTool* pPartner = m_pPartner;
    CVeltroInterfaceView* pView = View();
    if (g_bFollowing || pPartner == nullptr || pView == nullptr || pPartner->View() == nullptr)
        return;
    CVeltroInterfaceView* pOther = pPartner->View();
    CVeltroInterfaceDoc* pDoc = pView->GetDocument();
    CVeltroInterfaceDoc* pOtherDoc = pOther->GetDocument();
    if (pDoc == nullptr || pOtherDoc == nullptr)
        return;
    g_bFollowing = true;
    pView->LayOut();   // a zoom key lays out only at the next paint
    const viewnav::ViewPlace place = viewnav::LinkedPlace({pDoc->m_nZoom, pView->ScrollOffset()},
                                                          pOtherDoc->m_nWidth, pOtherDoc->m_nHeight,
                                                          pOtherDoc->m_nZoom);
    // A new zoom repaints the whole view; a scroll only what it uncovers.
    const bool bZoom = place.nZoom != pOtherDoc->m_nZoom;
    if (bZoom) {
        pOtherDoc->m_nZoom = place.nZoom;
        pOtherDoc->m_nDisplayState = 1;
    }
    pOther->LayOut();
    pOther->ScrollTo(place.scroll);
    if (bZoom)
        pOther->InvalidateAll();
    g_bFollowing = false;
}

void CCompareTool::ShowSource(bool bShow)
{
    if (bShow == m_bShowSource)
        return;
    m_bShowSource = bShow;
    View()->InvalidateAll();
}

bool CCompareTool::ViewEvent(QEvent* pEvent)
{
    switch (pEvent->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (!m_bResult || pKey->key() != Qt::Key_Backslash)
            return false;
        // The key's own repeats change nothing.
        if (!pKey->isAutoRepeat())
            ShowSource(pEvent->type() == QEvent::KeyPress && m_pPartner != nullptr);
        return true;
    }
    case QEvent::FocusOut:
        ShowSource(false);
        return false;
    default:
        return false;
    }
}

void CCompareTool::Paint(QPainter& painter, const QRect& rcExposed)
{
    if (!m_bShowSource || m_pPartner == nullptr || m_pPartner->View() == nullptr)
        return;
    CVeltroInterfaceDoc* pSource = m_pPartner->View()->GetDocument();
    CDisplayCache* pCache = CDisplayCache::ForDocument(pSource);
    if (pCache == nullptr || pCache->Draw(painter, rcExposed, View()->GetDocument()->m_nZoom) || m_sourceLevels)
        return;
    // The view repaints as its own picture's reductions arrive; the source's
    // are another document's, so they are watched here.
    m_sourceLevels = connect(pCache, &CDisplayCache::levelAdded, this, [this] {
        disconnect(m_sourceLevels);
        m_sourceLevels = {};
        if (m_bShowSource)
            View()->InvalidateAll();
    });
}
