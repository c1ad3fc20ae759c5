#pragma once

#include "processing/CParameterDlg.h"

#include <QString>
#include <cstdint>

class CVeltroInterfaceDoc;
class QLineEdit;

// "Blotch parameters" (dialog 130): the distance from the border, the width
// of the flawless region, the blotch mask file and the output path of a
// blotch removal. It shows the document's last confirmed values (or proposed
// paths) and writes them back to the document on OK only.
class CBlotchDlg : public CParameterDlg
{
    Q_OBJECT

public:
    explicit CBlotchDlg(CVeltroInterfaceDoc* pDoc, QWidget* pParent = nullptr);
    ~CBlotchDlg() override;

    // Button 1004: picks the mask file with the file chooser, then reads all
    // fields back; the dialog stays open either way.
    void OnBrowse();

    uint32_t m_nBorderDist = 0;
    uint32_t m_nFlawlessWidth = 0;
    QString m_strMaskFile;
    QString m_strOutput;
    CVeltroInterfaceDoc* m_pDoc = nullptr;   // not owned

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override;

private:
    QLineEdit* m_pEditBorderDist = nullptr;
    QLineEdit* m_pEditFlawlessWidth = nullptr;
    QLineEdit* m_pEditMaskFile = nullptr;
    QLineEdit* m_pEditOutput = nullptr;
};
