#include "support/JpegTestFiles.h"

#include <QFile>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include <jpeglib.h>

namespace jpegtest {

namespace {

struct EncoderErrorMgr
{
    jpeg_error_mgr pub;
    jmp_buf recover;
};

[[noreturn]] void EncoderErrorExit(j_common_ptr cinfo)
{
    (*cinfo->err->output_message)(cinfo);
    longjmp(reinterpret_cast<EncoderErrorMgr*>(cinfo->err)->recover, 1);
}

J_COLOR_SPACE InputSpace(int nComponents)
{
    switch (nComponents) {
    case 1: return JCS_GRAYSCALE;
    case 3: return JCS_RGB;
    case 4: return JCS_CMYK;
    default: return JCS_UNKNOWN;
    }
}

// Kept apart from EncodeJpeg so that no object with a destructor lives in
// the frame that setjmp returns to twice.
bool EncodeInto(const EncodeOptions& o, const uint8_t* samples, unsigned char** ppOut,
                unsigned long* pnSize)
{
    jpeg_compress_struct cinfo;
    EncoderErrorMgr jerr;
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = EncoderErrorExit;
    if (setjmp(jerr.recover)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, ppOut, pnSize);
    cinfo.image_width = JDIMENSION(o.nWidth);
    cinfo.image_height = JDIMENSION(o.nHeight);
    cinfo.input_components = o.nComponents;
    cinfo.in_color_space = InputSpace(o.nComponents);
    jpeg_set_defaults(&cinfo);
    if (o.nComponents == 4) {
        jpeg_set_colorspace(&cinfo, o.bYcck ? JCS_YCCK : JCS_CMYK);
        cinfo.write_Adobe_marker = o.bAdobeMarker ? TRUE : FALSE;
    }
    jpeg_set_quality(&cinfo, o.nQuality, TRUE);
    for (int c = 0; c < cinfo.num_components; ++c) {
        const bool bChroma = (c == 1 || c == 2) && cinfo.jpeg_color_space != JCS_CMYK
                             && cinfo.jpeg_color_space != JCS_GRAYSCALE;
        const int f = (bChroma || !o.bSubsample420) ? 1 : 2;
        cinfo.comp_info[c].h_samp_factor = f;
        cinfo.comp_info[c].v_samp_factor = f;
    }
    if (o.bProgressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = size_t(o.nWidth) * size_t(o.nComponents);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples + stride * cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

int Be16(const QByteArray& b, int i)
{
    return (uint8_t(b[i]) << 8) | uint8_t(b[i + 1]);
}

} // namespace

QByteArray EncodeJpeg(const EncodeOptions& o, const std::vector<uint8_t>& samples)
{
    if (o.nWidth <= 0 || o.nHeight <= 0 || InputSpace(o.nComponents) == JCS_UNKNOWN
        || samples.size() != size_t(o.nWidth) * size_t(o.nHeight) * size_t(o.nComponents))
        return {};
    unsigned char* pOut = nullptr;
    unsigned long nSize = 0;
    const bool bOk = EncodeInto(o, samples.data(), &pOut, &nSize);
    QByteArray result;
    if (bOk)
        result = QByteArray(reinterpret_cast<const char*>(pOut), qsizetype(nSize));
    std::free(pOut);
    return result;
}

std::vector<uint8_t> SolidSamples(int nWidth, int nHeight, const std::vector<uint8_t>& pixel)
{
    std::vector<uint8_t> samples;
    samples.reserve(size_t(nWidth) * size_t(nHeight) * pixel.size());
    for (int i = 0; i < nWidth * nHeight; ++i)
        samples.insert(samples.end(), pixel.begin(), pixel.end());
    return samples;
}

bool WriteFileBytes(const QString& strPath, const QByteArray& bytes)
{
    QFile file(strPath);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(bytes) == bytes.size();
}

std::vector<Segment> ListSegments(const QByteArray& jpeg)
{
    std::vector<Segment> segments;
    const int n = int(jpeg.size());
    int i = 0;
    while (i + 1 < n) {
        if (uint8_t(jpeg[i]) != 0xFF) {
            ++i;   // stray byte between segments
            continue;
        }
        const int marker = uint8_t(jpeg[i + 1]);
        if (marker == 0xFF) {
            ++i;   // fill byte
            continue;
        }
        Segment seg;
        seg.nMarker = marker;
        seg.nOffset = i;
        const bool bStandalone = marker == 0xD8 || marker == 0xD9 || marker == 0x01
                                 || (marker >= 0xD0 && marker <= 0xD7);
        int end = i + 2;
        if (!bStandalone && i + 3 < n)
            end = i + 2 + Be16(jpeg, i + 2);
        if (marker == 0xDA) {
            // The entropy-coded data runs to the next marker that is neither
            // a stuffed zero nor a restart marker.
            while (end + 1 < n) {
                const int next = uint8_t(jpeg[end + 1]);
                if (uint8_t(jpeg[end]) == 0xFF && next != 0x00 && !(next >= 0xD0 && next <= 0xD7))
                    break;
                ++end;
            }
            if (end + 1 >= n)
                end = n;
        }
        seg.nLength = std::min(end, n) - i;
        segments.push_back(seg);
        i += seg.nLength;
    }
    return segments;
}

bool PatchFrameSize(QByteArray& jpeg, int nWidth, int nHeight)
{
    for (const Segment& seg : ListSegments(jpeg)) {
        const bool bFrame = seg.nMarker >= 0xC0 && seg.nMarker <= 0xCF && seg.nMarker != 0xC4
                            && seg.nMarker != 0xC8 && seg.nMarker != 0xCC;
        if (!bFrame || seg.nLength < 9)
            continue;
        // FF Cn, length (2), precision (1), height (2), width (2)
        jpeg[seg.nOffset + 5] = char(nHeight >> 8);
        jpeg[seg.nOffset + 6] = char(nHeight & 0xFF);
        jpeg[seg.nOffset + 7] = char(nWidth >> 8);
        jpeg[seg.nOffset + 8] = char(nWidth & 0xFF);
        return true;
    }
    return false;
}

QByteArray RepeatScan(const QByteArray& jpeg, int nScan, int nCopies)
{
    int nSeen = 0;
    for (const Segment& seg : ListSegments(jpeg)) {
        if (seg.nMarker != 0xDA || nSeen++ != nScan)
            continue;
        const QByteArray scan = jpeg.mid(seg.nOffset, seg.nLength);
        QByteArray out = jpeg.left(seg.nOffset + seg.nLength);
        out.reserve(jpeg.size() + scan.size() * nCopies);
        for (int i = 0; i < nCopies; ++i)
            out += scan;
        out += jpeg.mid(seg.nOffset + seg.nLength);
        return out;
    }
    return {};
}

QByteArray InsertBeforeEoi(const QByteArray& jpeg, const QByteArray& bytes)
{
    for (const Segment& seg : ListSegments(jpeg)) {
        if (seg.nMarker == 0xD9)
            return jpeg.left(seg.nOffset) + bytes + jpeg.mid(seg.nOffset);
    }
    return {};
}

StderrCapture::StderrCapture()
{
    std::fflush(stderr);
    char name[] = "/tmp/veltro-stderr-XXXXXX";
    m_nCaptureFd = mkstemp(name);
    if (m_nCaptureFd < 0)
        return;
    unlink(name);
    m_nSavedFd = dup(2);
    dup2(m_nCaptureFd, 2);
}

StderrCapture::~StderrCapture()
{
    Finish();
}

QString StderrCapture::Finish()
{
    if (m_nSavedFd < 0)
        return m_strText;
    std::fflush(stderr);
    dup2(m_nSavedFd, 2);
    close(m_nSavedFd);
    m_nSavedFd = -1;
    QByteArray text;
    if (lseek(m_nCaptureFd, 0, SEEK_SET) == 0) {
        char buf[4096];
        ssize_t got;
        while ((got = read(m_nCaptureFd, buf, sizeof buf)) > 0)
            text.append(buf, qsizetype(got));
    }
    close(m_nCaptureFd);
    m_nCaptureFd = -1;
    m_strText = QString::fromLocal8Bit(text);
    return m_strText;
}

} // namespace jpegtest
