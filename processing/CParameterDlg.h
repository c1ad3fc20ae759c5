#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <initializer_list>
#include <utility>

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// The common ground of the four parameter dialogs (blotch, crack, foxing,
// crease): the OK and Cancel buttons, the exchange of member values with the
// edit fields under the program's parse rules, and the check that runs
// before OK may end the dialog. Each dialog lists its fields once, in
// DoDataExchange; that order is the order in which they are checked.
//
// Every control carries its numeric id as object name ("1", "2", "1002", ...),
// so code that drives a dialog can find it with findChild.
class CParameterDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CParameterDlg(const QString& strCaption, QWidget* pParent = nullptr);
    ~CParameterDlg() override;

    // false: shows the member values in the edits. true: reads the edits
    // back into the members in exchange order; the first field that does not
    // parse shows its message, gets the focus with its text selected, keeps
    // its member unchanged, and stops the exchange (returns false).
    bool UpdateData(bool bSaveAndValidate);

    // OK (button, Enter) ends the dialog only through OnOK.
    void accept() override;

protected:
    // One pass of the exchange, in one direction.
    class CDataExchange
    {
    public:
        explicit CDataExchange(bool bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate) {}

        void Text(QLineEdit* pEdit, uint32_t& nValue);
        void Text(QLineEdit* pEdit, int32_t& nValue);
        void Text(QLineEdit* pEdit, float& fValue);
        // Any text, taken as it stands (no trimming).
        void Text(QLineEdit* pEdit, QString& strValue);
        // A path, taken as it stands unless it names something that exists
        // but is no regular file (strRole says what the file is for: "the
        // output").
        void FilePath(QLineEdit* pEdit, QString& strValue, const char* pszRole);

        bool Failed() const { return m_bFailed; }

    private:
        void Fail(QLineEdit* pEdit, const QString& strMessage);

        bool m_bSaveAndValidate;
        bool m_bFailed = false;
    };

    virtual void DoDataExchange(CDataExchange& dx) = 0;
    // Checks the fields and, when they all parse, hands the values on and
    // ends the dialog (EndDialogOk). The default only checks.
    virtual void OnOK();
    void EndDialogOk();

    // Building blocks. Sizes are given in dialog units of the dialog's font
    // (a quarter of the average character width, an eighth of its height),
    // so the proportions hold whatever font the platform uses.
    QLineEdit* CreateEdit(int nId, int nWidthDlu, int nHeightDlu, Qt::Alignment alignment = Qt::AlignLeft);
    QLabel* CreateLabel(const QString& strText, int nId = -1);
    QPushButton* CreateButton(int nId, const QString& strText, int nWidthDlu, int nHeightDlu);
    int DluX(int nDlu) const;
    int DluY(int nDlu) const;
    // Puts the dialog's layout in place (fixed size) and links the controls
    // that take the focus into the tab order given.
    void FinishLayout(QLayout* pLayout, std::initializer_list<QWidget*> tabOrder);
    // The arrangement the foxing and crease dialogs share: the output path
    // at the top left with OK and Cancel stacked to its right; below, one row
    // per number with its edit in the right column.
    QGridLayout* OutputAndRowsLayout(QLabel* pOutputLabel, QLineEdit* pOutputEdit,
                                     std::initializer_list<std::pair<QLabel*, QLineEdit*>> rows,
                                     int nSpacingDlu);

    void showEvent(QShowEvent* pEvent) override;

    QPushButton* m_pOkButton = nullptr;
    QPushButton* m_pCancelButton = nullptr;
};
