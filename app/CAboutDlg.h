#pragma once

#include <QDialog>
#include <QString>

// Help > About: the program's name, its release and its logo.
class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);

    QString m_strRelease;   // shown in control 1024
};
