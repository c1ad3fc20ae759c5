#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

class CDocTemplate;

// One open picture: the photograph a user opened, or an engine result. It
// holds the decoded pixels, the path they came from, the zoom its views use,
// and the parameters last confirmed for each of the four restorations (so a
// photograph remembers them while it stays open; nothing is saved).
//
// Pixel layout of m_pImage: one 32-bit word per pixel, red in bits 0-7, green
// in 8-15, blue in 16-23, top byte 0; rows run bottom-up with no padding, so
// the top row of the picture is buffer row m_nHeight - 1.
class CVeltroInterfaceDoc : public QObject
{
    Q_OBJECT

public:
    CVeltroInterfaceDoc();
    ~CVeltroInterfaceDoc() override;

    CVeltroInterfaceDoc(const CVeltroInterfaceDoc&) = delete;
    CVeltroInterfaceDoc& operator=(const CVeltroInterfaceDoc&) = delete;

    // An empty document (File > New). Always succeeds.
    bool OnNewDocument();

    // Loads the document from a file: records its full path, decodes it and
    // marks the document for layout. Returns false, with the reason in
    // *pstrError, when the picture could not be decoded; the document is then
    // still usable (it shows whatever was decoded, or nothing).
    bool OnOpenDocument(const QString& strPath, QString* pstrError = nullptr);

    // The loading half of the document's serialization: path, decode, layout.
    // Storing writes nothing: the document has no file format of its own, and
    // the opened photograph is never written through it. (File > Save As
    // copies the image file instead; see CMainFrame.)
    void Serialize(bool bStoring, const QString& strFilePath);

    QString GetTitle() const { return m_strTitle; }
    void SetTitle(const QString& strTitle);
    // The path the document was opened from by the user; empty for untitled
    // and result documents, which therefore never enter the recent-file list.
    QString GetPathName() const { return m_strPathName; }
    void SetPathName(const QString& strPathName) { m_strPathName = strPathName; }

    // The template that created the document (its icon, its untitled names).
    CDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }
    void SetDocTemplate(CDocTemplate* pTemplate) { m_pDocTemplate = pTemplate; }

    // The document lives as long as its last view: views register here, and
    // when the last one goes the document deletes itself.
    void AddView(QObject* pView);
    void RemoveView(QObject* pView);
    QList<QObject*> GetViews() const;

    // Result of the last load: 0 decoded, 1 failed; the reason when it failed.
    int m_nLoadResult = 0;
    QString m_strLoadError;

    // --- Operation parameters and image state, in their declared order ---
    uint32_t m_nCreaseAvgSize = 22;         // Crease: moving average dimension (Q)
    uint32_t m_nCreaseFilterSize = 25;      // Crease: filter dimension (N)
    float m_fCreaseThreshold = 10.0f;       // Crease: threshold for mean and variance (THR1)
    QString m_strCreaseOutput;              // Crease: output path last confirmed
    QString m_strFoxOutput;                 // Foxing: output path last confirmed
    float m_fFoxAmplitude = 0.05f;          // Foxing: detection amplitude (AMP)
    uint32_t m_nFoxBorderDist = 3;          // Foxing: distance from the border (DIST)
    uint32_t m_nFoxFlawlessWidth = 2;       // Foxing: width flawless region (COST)
    float m_fCrackDegStop = 90.0f;          // Crack: deg stop
    float m_fCrackDegStart = -90.0f;        // Crack: deg start
    int32_t m_nCrackWhiteThreshold = 245;   // Crack: white threshold
    float m_fCrackDegStep = 3.0f;           // Crack: deg step
    QString m_strCrackOutput;               // Crack: output path last confirmed
    uint32_t* m_pImage = nullptr;           // the pixel block; null while no image is held
    QString m_strBlotchOutput;              // Blotch: output path last confirmed
    QString m_strBlotchMask;                // Blotch: mask file last confirmed
    int32_t m_nZoom = 1;                    // zoom step: n enlarges n times, -n reduces to 1/n
    QString m_strImagePath;                 // full path of the file the picture was read from
    int32_t m_nChannels = 0;                // 3 once a picture is loaded
    int32_t m_nHeight = 0;                  // rows
    int32_t m_nWidth = 0;                   // pixels per row
    // 0 nothing read yet; 1 read or zoom changed, the view must lay out again;
    // 2 the view has laid out for the current picture and zoom.
    int32_t m_nDisplayState = 0;
    uint32_t m_nBlotchBorderDist = 7;       // Blotch: distance from the border (DIST)
    uint32_t m_nBlotchFlawlessWidth = 10;   // Blotch: width flawless region (COST)

signals:
    void titleChanged(const QString& strTitle);

private:
    CDocTemplate* m_pDocTemplate = nullptr;
    QList<QPointer<QObject>> m_views;
    QString m_strTitle;
    QString m_strPathName;
};
