#include "support/AppFixture.h"

#include "app/UiSeams.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QSettings>

void AppFixture::SetUp()
{
    ASSERT_TRUE(m_tempDir.isValid());
    // Settings of this test alone: never the user's, never another test's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_tempDir.filePath(QStringLiteral("settings")));
    ui::SetMessageHandler([this](const QString& strText) { m_messages.append(strText); });
    ui::SetQuestionHandler([this](const QString& strText) {
        m_questions.append(strText);
        return m_questionAnswers.isEmpty() ? int(QMessageBox::Cancel) : m_questionAnswers.takeFirst();
    });
    ui::SetModalHandler([this](QDialog& dlg) {
        if (m_dialogAnswers.empty())
            return int(QDialog::Rejected);
        auto answer = m_dialogAnswers.front();
        m_dialogAnswers.erase(m_dialogAnswers.begin());
        return answer(dlg);
    });
    ui::SetOpenFileHandler([this](const QString&, const QString&) {
        return m_openFileAnswers.isEmpty() ? QString() : m_openFileAnswers.takeFirst();
    });
    ui::SetSaveFileHandler([this](const QString&, const QString& strFilter) {
        m_saveFileFilters.append(strFilter);
        return m_saveFileAnswers.isEmpty() ? QString() : m_saveFileAnswers.takeFirst();
    });
    StartApp();
}

void AppFixture::TearDown()
{
    StopApp();
    ui::SetMessageHandler(nullptr);
    ui::SetQuestionHandler(nullptr);
    ui::SetModalHandler(nullptr);
    ui::SetOpenFileHandler(nullptr);
    ui::SetSaveFileHandler(nullptr);
}

void AppFixture::StartApp(const QStringList& arguments)
{
    m_argStorage.clear();
    m_argStorage.push_back(QByteArray("veltro_test"));
    for (const QString& strArg : arguments)
        m_argStorage.push_back(strArg.toLocal8Bit());
    m_argv.clear();
    for (QByteArray& arg : m_argStorage)
        m_argv.push_back(arg.data());
    m_argv.push_back(nullptr);
    m_argc = std::make_unique<int>(int(m_argStorage.size()));
    m_pApp = new CVeltroInterfaceApp(*m_argc, m_argv.data());
    ASSERT_TRUE(m_pApp->InitInstance());
    m_pFrame = m_pApp->m_pMainWnd;
    ProcessEvents();
}

void AppFixture::StopApp()
{
    if (m_pApp == nullptr)
        return;
    if (m_pFrame != nullptr)
        m_pFrame->close();
    ProcessEvents();
    delete m_pApp;
    m_pApp = nullptr;
    m_pFrame = nullptr;
}

QString AppFixture::MakeJpeg(const QString& strName, int nWidth, int nHeight, const QColor& color)
{
    const QString strPath = QDir::isAbsolutePath(strName) ? strName : m_tempDir.filePath(strName);
    QDir().mkpath(QFileInfo(strPath).absolutePath());
    QImage image(nWidth, nHeight, QImage::Format_RGB32);
    image.fill(color);
    image.save(strPath, "JPEG", 95);
    return strPath;
}

CVeltroInterfaceView* AppFixture::OpenImage(const QString& strPath)
{
    if (m_pApp->OpenDocumentFile(strPath) == nullptr)
        return nullptr;
    ProcessEvents();
    return ActiveView();
}

CVeltroInterfaceView* AppFixture::ActiveView() const
{
    return m_pFrame != nullptr ? m_pFrame->GetActiveView() : nullptr;
}

CChildFrame* AppFixture::ActiveFrame() const
{
    return m_pFrame != nullptr ? m_pFrame->MDIGetActive() : nullptr;
}

int AppFixture::WindowCount() const
{
    return m_pFrame != nullptr ? int(m_pFrame->MdiArea()->subWindowList().size()) : 0;
}

CVeltroInterfaceView* AppFixture::NewDocument()
{
    m_pApp->OnFileNew();
    ProcessEvents();
    return ActiveView();
}

void AppFixture::ProcessEvents(int nMilliseconds)
{
    QDeadlineTimer deadline(nMilliseconds);
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    } while (!deadline.hasExpired());
}
