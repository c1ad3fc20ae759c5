#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class CMaskLayer;
class CVeltroInterfaceDoc;
class CVeltroInterfaceView;

// What a result document knows of the run that made it: the window it was
// made from (Compare with Source), and the mask of the pixels the engine
// changed, which the engine wrote into the program's cache folder (Show
// Changes). The mask file goes when the result document does.
class CResultInfo : public QObject
{
    Q_OBJECT

public:
    CResultInfo(CVeltroInterfaceView* pSource, const QString& strChangedMask, CVeltroInterfaceDoc* pResult);
    ~CResultInfo() override;

    static CResultInfo* Of(const CVeltroInterfaceDoc* pDoc);

    // The window the run was started from, or while that is gone another
    // window of the same document; null when none is open.
    CVeltroInterfaceView* SourceView() const;

    // Whether the engine wrote the mask of changed pixels.
    bool HasChangedMask() const;
    // The changed pixels, read on first use; null (with the reason) when the
    // file cannot be read or does not fit the result.
    CMaskLayer* ChangedPixels(QString* pstrError);

    // A new, unused file name in the cache folder for a run's mask of changed
    // pixels (the file is made, empty, to hold the name); empty when the
    // cache folder cannot be used.
    static QString NewChangedMaskPath();

private:
    QPointer<CVeltroInterfaceView> m_pSourceView;
    QPointer<CVeltroInterfaceDoc> m_pSourceDoc;
    QString m_strChangedMask;
    QPointer<CMaskLayer> m_pChanged;
};
