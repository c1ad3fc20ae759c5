#pragma once

#include <QString>
#include <functional>

class QDialog;
class QWidget;

// Every modal interaction of the program goes through these functions, so
// that tests can answer message boxes, dialogs and file choosers without a
// person and without ever blocking. Each Set...Handler(nullptr) restores the
// real behaviour.
namespace ui {

// A warning box with one OK button and the caption "VeltroInterface".
void ShowMessage(const QString& strText);
using MessageHandler = std::function<void(const QString& strText)>;
void SetMessageHandler(MessageHandler handler);

// A question with the buttons Yes, No and Cancel, caption "VeltroInterface";
// returns QMessageBox::Yes, QMessageBox::No or QMessageBox::Cancel.
int Ask(const QString& strText);
using QuestionHandler = std::function<int(const QString& strText)>;
void SetQuestionHandler(QuestionHandler handler);

// Runs a dialog modally; returns QDialog::Accepted or QDialog::Rejected.
int DoModal(QDialog& dlg);
using ModalHandler = std::function<int(QDialog& dlg)>;
void SetModalHandler(ModalHandler handler);

// File choosers. The result is the chosen path, or empty when cancelled.
// strFilter uses Qt's ";;" separated form; the choosers start in strDir
// (the current directory when it is empty). The Save chooser adds
// strDefaultSuffix (without its dot) to a name typed without a suffix, before
// it asks whether to replace a file of that name.
QString GetOpenFileName(QWidget* pParent, const QString& strCaption, const QString& strFilter,
                        const QString& strDir = QString());
QString GetSaveFileName(QWidget* pParent, const QString& strCaption, const QString& strFilter,
                        const QString& strDir = QString(), const QString& strDefaultSuffix = QString());
using FileHandler = std::function<QString(const QString& strCaption, const QString& strFilter)>;
void SetOpenFileHandler(FileHandler handler);
void SetSaveFileHandler(FileHandler handler);

} // namespace ui
