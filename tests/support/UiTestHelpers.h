// Small helpers shared by the tests that drive the program's windows.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QRegion>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>

namespace uitest {

using Fields = QMap<QString, QString>;   // edit texts by control id

inline QByteArray ReadFile(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool WriteFile(const QString& strPath, const QByteArray& bytes)
{
    QFile file(strPath);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A dialog answer: notes what the edits show (into *pShown), types the given
// texts, then presses OK or Cancel.
inline std::function<int(QDialog&)> Answer(Fields typed = {}, bool bOk = true, Fields* pShown = nullptr)
{
    return [typed, bOk, pShown](QDialog& dlg) {
        if (pShown != nullptr) {
            pShown->clear();
            for (QLineEdit* pEdit : dlg.findChildren<QLineEdit*>())
                pShown->insert(pEdit->objectName(), pEdit->text());
        }
        for (auto it = typed.begin(); it != typed.end(); ++it) {
            QLineEdit* pEdit = dlg.findChild<QLineEdit*>(it.key());
            EXPECT_NE(pEdit, nullptr) << qPrintable(it.key());
            if (pEdit != nullptr)
                pEdit->setText(it.value());
        }
        QPushButton* pButton = dlg.findChild<QPushButton*>(bOk ? QStringLiteral("1") : QStringLiteral("2"));
        EXPECT_NE(pButton, nullptr);
        if (pButton != nullptr)
            pButton->click();
        return dlg.result();
    };
}

// A pointer move with the buttons and modifiers given (QTest's move carries
// neither).
inline void SendMove(QWidget* pWidget, const QPoint& pos, Qt::MouseButtons buttons,
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(QEvent::MouseMove, QPointF(pos), QPointF(pWidget->mapToGlobal(pos)), Qt::NoButton, buttons,
                      modifiers);
    QApplication::sendEvent(pWidget, &event);
}

// Collects the areas a widget paints (from its construction, when given one).
class PaintSpy : public QObject
{
public:
    explicit PaintSpy(QWidget* pWidget = nullptr)
    {
        if (pWidget != nullptr)
            pWidget->installEventFilter(this);
    }
    QRegion m_painted;

protected:
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Paint)
            m_painted += static_cast<QPaintEvent*>(pEvent)->region();
        return false;
    }
};

// The red of the selection prompts.
inline bool IsRed(QRgb rgb)
{
    return qRed(rgb) > 200 && qGreen(rgb) < 60 && qBlue(rgb) < 60;
}

} // namespace uitest
