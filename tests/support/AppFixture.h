#pragma once

#include "app/CChildFrame.h"
#include "app/CDocTemplate.h"
#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "document/CVeltroInterfaceDoc.h"
#include "view/CVeltroInterfaceView.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QColor>
#include <QMdiArea>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class QDialog;

// A whole program for one test: the application object started as at
// start-up (without the splash, as with "/Embedding"), its main window, and
// every message box, dialog and file chooser answered by the test.
//
// Use it only in test programs that do not also make a plain QApplication
// (testengine::Application()): a process has one application at a time.
class AppFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the application with these arguments after the program name
    // (SetUp starts it with "/Embedding"; call StopApp first to restart).
    void StartApp(const QStringList& arguments = {QStringLiteral("/Embedding")});
    void StopApp();

    // A JPEG of the given size and colour in the test's temporary folder
    // (or at strPath when it is absolute).
    QString MakeJpeg(const QString& strName, int nWidth, int nHeight, const QColor& color);
    // Opens a photograph as File > Open would; the view of its window.
    CVeltroInterfaceView* OpenImage(const QString& strPath);
    CVeltroInterfaceView* ActiveView() const;
    CChildFrame* ActiveFrame() const;
    int WindowCount() const;
    // File > New; the view of the new window.
    CVeltroInterfaceView* NewDocument();
    // Lets queued work and paints happen.
    static void ProcessEvents(int nMilliseconds = 0);

    // What the test's dialog handler does with the next modal dialogs; the
    // default rejects them. Each entry is used once, in order.
    std::vector<std::function<int(QDialog&)>> m_dialogAnswers;
    // The file choosers' answers (used once each, in order; empty = cancel).
    QStringList m_openFileAnswers;
    QStringList m_saveFileAnswers;
    QStringList m_saveFileFilters;   // the Save chooser's filters, in order
    // Every message box text, in order; every question, and the answers to
    // them (QMessageBox::Yes, No or Cancel, used once each; Cancel when none is left).
    QStringList m_messages;
    QStringList m_questions;
    QList<int> m_questionAnswers;

    QTemporaryDir m_tempDir;
    CVeltroInterfaceApp* m_pApp = nullptr;
    CMainFrame* m_pFrame = nullptr;

private:
    std::unique_ptr<int> m_argc;
    std::vector<QByteArray> m_argStorage;
    std::vector<char*> m_argv;
};
