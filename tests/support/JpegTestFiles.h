#pragma once

// Small JPEG files made on the spot for the loader's tests and benchmarks,
// written with the same library the program reads them with, and a few
// byte-level edits that turn a good file into a broken or hostile one.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace jpegtest {

// How a picture is encoded. Samples are given top row first, the samples of
// one pixel side by side: 1 (grey), 3 (R, G, B) or 4 (C, M, Y, K) per pixel.
struct EncodeOptions
{
    int nWidth = 0;
    int nHeight = 0;
    int nComponents = 3;
    int nQuality = 100;
    bool bSubsample420 = false;   // chroma halved both ways; otherwise 4:4:4
    bool bProgressive = false;    // the library's standard progression
    bool bYcck = false;           // 4 samples: store as YCCK rather than CMYK
    bool bAdobeMarker = true;     // 4 samples: write the APP14 marker that
                                  // flags inverted (Adobe) CMYK
};

// Encodes samples (nWidth * nHeight * nComponents bytes); empty on failure.
QByteArray EncodeJpeg(const EncodeOptions& options, const std::vector<uint8_t>& samples);

// Samples of a picture in which every pixel has the given samples.
std::vector<uint8_t> SolidSamples(int nWidth, int nHeight, const std::vector<uint8_t>& pixel);

bool WriteFileBytes(const QString& strPath, const QByteArray& bytes);

// One marker segment of a JPEG stream: where its 0xFF byte sits and how many
// bytes it spans (for SOS: header and the entropy-coded data that follows).
struct Segment
{
    int nMarker = 0;   // the byte after 0xFF
    int nOffset = 0;
    int nLength = 0;
};
std::vector<Segment> ListSegments(const QByteArray& jpeg);

// Rewrites the width and height declared in the frame header; false if the
// stream has no frame header.
bool PatchFrameSize(QByteArray& jpeg, int nWidth, int nHeight);

// Inserts nCopies further copies of scan number nScan (0 = first) right
// after it. Repeating a progressive file's first DC scan leaves the decoded
// picture unchanged but multiplies the scans the decoder has to read.
QByteArray RepeatScan(const QByteArray& jpeg, int nScan, int nCopies);

// Inserts raw bytes just before the end-of-image marker.
QByteArray InsertBeforeEoi(const QByteArray& jpeg, const QByteArray& bytes);

// Everything written to file descriptor 2 between construction and Finish()
// (or destruction): the C library's stderr and anything else that writes
// there. Not for use from several threads.
class StderrCapture
{
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Restores standard error and returns what was written meanwhile.
    QString Finish();

private:
    int m_nSavedFd = -1;
    int m_nCaptureFd = -1;
    QString m_strText;
};

} // namespace jpegtest
