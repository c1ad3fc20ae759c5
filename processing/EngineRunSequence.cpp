// What the four restorations share once their parameter file is complete:
// running the engine (with a way to cancel it), opening its output or saying
// why there is none, and reporting a parameter file that cannot be written.
#include "view/CVeltroInterfaceView.h"

#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "processing/CResultInfo.h"
#include "processing/EngineRunner.h"
#include "processing/ParamFile.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QSizePolicy>
#include <QStatusBar>
#include <QToolButton>

namespace {

// The run's own corner of the status bar, beside the panes on the right, for
// as long as the engine works: how far it has come, and the button that
// stops it (Escape does the same).
class RunPane
{
public:
    explicit RunPane(CMainFrame* pMain)
    {
        if (pMain == nullptr || pMain->StatusBar() == nullptr)
            return;
        m_pPane = new QWidget;
        m_pPane->setObjectName(QStringLiteral("runPane"));
        // No taller than the panes beside it: a status bar that grew for the
        // run would shrink the workspace, and a window fitted to it would
        // stick out and bring up scroll bars until the run ended.
        const QLabel* pPaneBeside = pMain->StatusBar()->findChild<QLabel*>();
        const int nHeight = pPaneBeside != nullptr ? pPaneBeside->sizeHint().height()
                                                   : m_pPane->fontMetrics().height() + 4;
        m_pBar = new QProgressBar(m_pPane);
        m_pBar->setRange(0, 0);   // moving until the engine first reports
        m_pBar->setFixedSize(m_pBar->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 16, nHeight);
        m_pCancel = new QToolButton(m_pPane);
        m_pCancel->setText(QStringLiteral("Cancel"));
        m_pCancel->setObjectName(QStringLiteral("cancelRun"));
        m_pCancel->setToolTip(QStringLiteral("Stop the engine (Esc)"));
        m_pCancel->setAutoRaise(true);
        m_pCancel->setFixedHeight(nHeight);
        // The view keeps the keyboard; the button is for the pointer.
        m_pCancel->setFocusPolicy(Qt::NoFocus);
        m_pPane->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        auto* pLayout = new QHBoxLayout(m_pPane);
        pLayout->setContentsMargins(0, 0, 0, 0);
        pLayout->setSpacing(4);
        pLayout->addWidget(m_pBar);
        pLayout->addWidget(m_pCancel);
        m_pStatusBar = pMain->StatusBar();
        m_pStatusBar->insertPermanentWidget(0, m_pPane);
    }
    ~RunPane()
    {
        if (m_pStatusBar != nullptr && m_pPane != nullptr)
            m_pStatusBar->removeWidget(m_pPane);
        delete m_pPane.data();
    }
    RunPane(const RunPane&) = delete;
    RunPane& operator=(const RunPane&) = delete;

    QAbstractButton* CancelButton() const { return m_pCancel; }
    void SetPercent(int nPercent)
    {
        if (m_pBar != nullptr && nPercent >= 0) {
            m_pBar->setRange(0, 100);
            m_pBar->setValue(nPercent);
        }
    }

private:
    QPointer<QStatusBar> m_pStatusBar;
    QPointer<QWidget> m_pPane;
    QPointer<QProgressBar> m_pBar;
    QPointer<QToolButton> m_pCancel;
};

} // namespace

int CVeltroInterfaceView::RunEngine(const QStringList& arguments)
{
    // The status bar tells what the engine is doing and how far it has come.
    const QPointer<CMainFrame> pMain = AfxGetMainWnd();
    const QString strSwitch = engine::OperationSwitch(arguments);
    RunPane pane(pMain);
    const int nResult = engine::Run(
        arguments,
        [&](int nPercent) {
            if (pMain != nullptr)
                pMain->SetMessageText(engine::ProgressText(strSwitch, nPercent));
            pane.SetPercent(nPercent);
        },
        pane.CancelButton());
    if (pMain != nullptr)
        pMain->SetIdleMessage();
    return nResult;
}

void CVeltroInterfaceView::RunEngineSequence(const QString& strSwitch, const QString& strParamFile,
                                             const QString& strOutput, int nResultTemplate)
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr)
        return;
    const engine::TypeAheadScope typeAhead;
    // Copies: opening the result may change what the document holds.
    const QString strImage = pDoc->m_strImagePath;
    const QString strOutputPath = strOutput;
    // The engine also records the pixels it changed, in the cache folder;
    // the result window keeps that file for Show Changes.
    const QString strChanged = CResultInfo::NewChangedMaskPath();
    QStringList arguments = engine::Arguments(strSwitch, strImage, strParamFile, strOutputPath);
    if (!strChanged.isEmpty())
        arguments << QStringLiteral("-m") << strChanged;
    m_bEngineFailed = RunEngine(arguments);
    // Only a run that ended well opens its output: after a failure, whatever
    // lies at the output path is an older file, and after Cancel the user
    // wants nothing. The engine never leaves a partial output.
    const engine::RunOutcome outcome = engine::LastRunOutcome();
    if (m_bEngineFailed == 0 && outcome.kind == engine::RunOutcome::Succeeded) {
        CVeltroInterfaceApp* pApp = AfxGetApp();
        CMainFrame* pMain = AfxGetMainWnd();
        if (pApp != nullptr && pMain != nullptr && nResultTemplate >= 1 && nResultTemplate <= 4)
            pMain->OpenResultDocument(pApp->m_pDocTemplates[nResultTemplate], strOutputPath, this, strChanged);
        else if (!strChanged.isEmpty())
            QFile::remove(strChanged);
    } else {
        if (!strChanged.isEmpty())
            QFile::remove(strChanged);
        const QString strMessage = engine::FailureMessage(outcome, strSwitch, strOutputPath);
        if (!strMessage.isEmpty())
            ui::ShowMessage(strMessage);
    }
    InvalidateAll();
}

bool CVeltroInterfaceView::WriteParamFileOrReport(const QString& strPath, const QByteArray& lines, bool bAppend)
{
    QString strError;
    if (paramfile::Write(strPath, lines, bAppend, &strError))
        return true;
    ui::ShowMessage(QStringLiteral("Cannot write the parameter file %1:\n%2").arg(strPath, strError));
    return false;
}
