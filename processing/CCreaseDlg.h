#pragma once

#include "processing/CParameterDlg.h"

#include <QString>
#include <cstdint>

class CVeltroInterfaceDoc;
class QLineEdit;

// "Crease parameters" (dialog 158): the filter dimension, the moving average
// dimension, the threshold for mean and variance and the output path of a
// crease removal. It shows the document's last confirmed values (or a
// proposed path) and writes them back to the document on OK only.
class CCreaseDlg : public CParameterDlg
{
    Q_OBJECT

public:
    explicit CCreaseDlg(CVeltroInterfaceDoc* pDoc, QWidget* pParent = nullptr);
    ~CCreaseDlg() override;

    uint32_t m_nFilterSize = 0;
    uint32_t m_nAvgSize = 0;
    float m_fThreshold = 0.0f;
    QString m_strOutput;
    CVeltroInterfaceDoc* m_pDoc = nullptr;   // not owned

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override;

private:
    QLineEdit* m_pEditFilterSize = nullptr;
    QLineEdit* m_pEditAvgSize = nullptr;
    QLineEdit* m_pEditThreshold = nullptr;
    QLineEdit* m_pEditOutput = nullptr;
};
