#include "app/UiSeams.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace ui {

namespace {
MessageHandler g_messageHandler;
QuestionHandler g_questionHandler;
ModalHandler g_modalHandler;
FileHandler g_openFileHandler;
FileHandler g_saveFileHandler;
} // namespace

void ShowMessage(const QString& strText)
{
    if (g_messageHandler) {
        g_messageHandler(strText);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("VeltroInterface"), strText,
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void SetMessageHandler(MessageHandler handler)
{
    g_messageHandler = std::move(handler);
}

int Ask(const QString& strText)
{
    if (g_questionHandler)
        return g_questionHandler(strText);
    QMessageBox box(QMessageBox::Question, QStringLiteral("VeltroInterface"), strText,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec();
}

void SetQuestionHandler(QuestionHandler handler)
{
    g_questionHandler = std::move(handler);
}

int DoModal(QDialog& dlg)
{
    if (g_modalHandler)
        return g_modalHandler(dlg);
    return dlg.exec();
}

void SetModalHandler(ModalHandler handler)
{
    g_modalHandler = std::move(handler);
}

QString GetOpenFileName(QWidget* pParent, const QString& strCaption, const QString& strFilter,
                        const QString& strDir)
{
    if (g_openFileHandler)
        return g_openFileHandler(strCaption, strFilter);
    return QFileDialog::getOpenFileName(pParent, strCaption, strDir, strFilter);
}

QString GetSaveFileName(QWidget* pParent, const QString& strCaption, const QString& strFilter,
                        const QString& strDir, const QString& strDefaultSuffix)
{
    if (g_saveFileHandler)
        return g_saveFileHandler(strCaption, strFilter);
    QFileDialog dlg(pParent, strCaption, strDir, strFilter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(strDefaultSuffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    return dlg.selectedFiles().constFirst();
}

void SetOpenFileHandler(FileHandler handler)
{
    g_openFileHandler = std::move(handler);
}

void SetSaveFileHandler(FileHandler handler)
{
    g_saveFileHandler = std::move(handler);
}

} // namespace ui
