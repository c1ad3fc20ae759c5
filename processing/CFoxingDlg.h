#pragma once

#include "processing/CParameterDlg.h"

#include <QString>
#include <cstdint>

class CVeltroInterfaceDoc;
class QLineEdit;

// "Foxing parameters" (dialog 153): the detection amplitude, the distance
// from the border, the width of the flawless region and the output path of a
// foxing removal. It shows the document's last confirmed values (or a
// proposed path) and writes them back to the document on OK only.
class CFoxingDlg : public CParameterDlg
{
    Q_OBJECT

public:
    explicit CFoxingDlg(CVeltroInterfaceDoc* pDoc, QWidget* pParent = nullptr);
    ~CFoxingDlg() override;

    float m_fAmplitude = 0.0f;
    uint32_t m_nFlawlessWidth = 0;
    uint32_t m_nBorderDist = 0;
    QString m_strOutput;
    CVeltroInterfaceDoc* m_pDoc = nullptr;   // not owned

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override;

private:
    QLineEdit* m_pEditAmplitude = nullptr;
    QLineEdit* m_pEditFlawlessWidth = nullptr;
    QLineEdit* m_pEditBorderDist = nullptr;
    QLineEdit* m_pEditOutput = nullptr;
};
