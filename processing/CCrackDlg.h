#pragma once

#include "processing/CParameterDlg.h"

#include <QString>
#include <cstdint>

class CVeltroInterfaceDoc;
class QLineEdit;

// "Crack parameters" (dialog 139): the output path, the white threshold and
// the angle range (start, step, stop in degrees) of a crack removal. It
// shows the document's last confirmed values (or a proposed path) and writes
// them back to the document on OK only.
class CCrackDlg : public CParameterDlg
{
    Q_OBJECT

public:
    explicit CCrackDlg(CVeltroInterfaceDoc* pDoc, QWidget* pParent = nullptr);
    ~CCrackDlg() override;

    QString m_strOutput;
    float m_fDegStep = 0.0f;
    int32_t m_nWhiteThreshold = 0;
    float m_fDegStart = 0.0f;
    float m_fDegStop = 0.0f;
    CVeltroInterfaceDoc* m_pDoc = nullptr;   // not owned

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override;

private:
    QLineEdit* m_pEditOutput = nullptr;
    QLineEdit* m_pEditDegStep = nullptr;
    QLineEdit* m_pEditWhiteThreshold = nullptr;
    QLineEdit* m_pEditDegStart = nullptr;
    QLineEdit* m_pEditDegStop = nullptr;
};
