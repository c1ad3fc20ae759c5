#include "document/TiffLoader.h"

#include "document/CVeltroInterfaceDoc.h"
#include "document/ImageFile.h"

#include <QFile>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <unistd.h>

#include <tiffio.h>

namespace {

// libtiff's first error message for this file (later ones follow from it).
int KeepFirstError(TIFF*, void* pUser, const char* pszModule, const char* pszFormat, va_list args)
{
    auto* pError = static_cast<std::string*>(pUser);
    if (pError->empty()) {
        char sz[512];
        std::vsnprintf(sz, sizeof sz, pszFormat, args);
        *pError = (pszModule != nullptr && *pszModule != '\0') ? std::string(pszModule) + ": " + sz : sz;
    }
    return 1;   // handled: nothing is printed by the library itself
}

// Warnings (unknown tags and the like) change nothing in what is shown.
int IgnoreWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

// The kinds read here directly: grey or RGB, 8 or 16 bits, samples side by
// side. libtiff's general reader does the others (palettes, CMYK, YCbCr,
// fewer than 8 bits, planes stored apart); it mishandles the right-hand
// tiles of 16-bit grey pictures, and takes the high byte of 16-bit samples
// where rounding is better.
struct Layout
{
    uint16_t nBits, nSamples, nPhotometric;
};

bool ReadDirectly(const Layout& l, TIFF* pTiff)
{
    uint16_t nPlanar = PLANARCONFIG_CONTIG, nFormat = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(pTiff, TIFFTAG_PLANARCONFIG, &nPlanar);
    TIFFGetFieldDefaulted(pTiff, TIFFTAG_SAMPLEFORMAT, &nFormat);
    const bool bGrey = l.nPhotometric == PHOTOMETRIC_MINISBLACK || l.nPhotometric == PHOTOMETRIC_MINISWHITE;
    return nPlanar == PLANARCONFIG_CONTIG && nFormat == SAMPLEFORMAT_UINT && (l.nBits == 8 || l.nBits == 16)
           && ((bGrey && l.nSamples >= 1) || (l.nPhotometric == PHOTOMETRIC_RGB && l.nSamples >= 3));
}

// Packs nCount pixels of decoded samples into words 0x00BBGGRR.
void PackPixels(const Layout& l, const unsigned char* pSamples, uint32_t* pWords, uint32_t nCount)
{
    const auto level = [&](uint32_t i) -> uint32_t {
        if (l.nBits == 8)
            return pSamples[i];
        uint16_t v;
        std::memcpy(&v, pSamples + 2 * size_t(i), sizeof v);
        return (uint32_t(v) * 255 + 32767) / 65535;
    };
    for (uint32_t x = 0; x < nCount; ++x) {
        const uint32_t i = x * l.nSamples;
        if (l.nPhotometric == PHOTOMETRIC_RGB) {
            pWords[x] = level(i) | (level(i + 1) << 8) | (level(i + 2) << 16);
        } else {
            const uint32_t v = l.nPhotometric == PHOTOMETRIC_MINISWHITE ? 255 - level(i) : level(i);
            pWords[x] = v * 0x010101u;
        }
    }
}

// Reads the picture strip by strip or tile by tile, rows as stored, into the
// block (the top row last). Stops at the first piece that cannot be read.
bool ReadPieces(const Layout& l, TIFF* pTiff, uint32_t nWidth, uint32_t nHeight, uint32_t* pBlock)
{
    const bool bTiled = TIFFIsTiled(pTiff) != 0;
    uint32_t nPieceWidth = nWidth, nPieceHeight = 0;
    if (bTiled) {
        TIFFGetField(pTiff, TIFFTAG_TILEWIDTH, &nPieceWidth);
        TIFFGetField(pTiff, TIFFTAG_TILELENGTH, &nPieceHeight);
    } else {
        TIFFGetFieldDefaulted(pTiff, TIFFTAG_ROWSPERSTRIP, &nPieceHeight);
        nPieceHeight = std::min(nPieceHeight, nHeight);
    }
    const tmsize_t nPieceSize = bTiled ? TIFFTileSize(pTiff) : TIFFStripSize(pTiff);
    const size_t nRowBytes = size_t(nPieceWidth) * l.nSamples * (l.nBits / 8);
    if (nPieceWidth == 0 || nPieceHeight == 0 || nPieceSize <= 0
        || uint64_t(nPieceSize) < uint64_t(nRowBytes) * std::min(nPieceHeight, nHeight))
        return false;
    // Not cleared beforehand: a file that declares huge strips but holds
    // little data only costs the pages its data fills.
    const std::unique_ptr<unsigned char[]> piece(new (std::nothrow) unsigned char[size_t(nPieceSize)]);
    if (!piece)
        return false;
    for (uint32_t y0 = 0; y0 < nHeight; y0 += nPieceHeight) {
        for (uint32_t x0 = 0; x0 < nWidth; x0 += nPieceWidth) {
            const tmsize_t nRead = bTiled
                ? TIFFReadEncodedTile(pTiff, TIFFComputeTile(pTiff, x0, y0, 0, 0), piece.get(), nPieceSize)
                : TIFFReadEncodedStrip(pTiff, TIFFComputeStrip(pTiff, y0, 0), piece.get(), nPieceSize);
            if (nRead < 0)
                return false;
            // Only the rows the piece really held.
            const uint32_t nRows = uint32_t(std::min<uint64_t>(std::min(nPieceHeight, nHeight - y0),
                                                               uint64_t(nRead) / nRowBytes));
            const uint32_t nColumns = std::min(nPieceWidth, nWidth - x0);
            for (uint32_t r = 0; r < nRows; ++r)
                PackPixels(l, piece.get() + r * nRowBytes,
                           pBlock + size_t(nHeight - 1 - (y0 + r)) * nWidth + x0, nColumns);
        }
    }
    return true;
}

} // namespace

int LoadTiffImage(CVeltroInterfaceDoc* pDoc, const QString& strPath, QString* pstrReason)
{
    const std::string path = QFile::encodeName(strPath).toStdString();
    QString strReason;
    const auto refuse = [&](const QString& strWhy) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), strWhy.toLocal8Bit().constData());
        if (pstrReason != nullptr)
            *pstrReason = strWhy;
        return 1;
    };

    FILE* pFile = imagefile::OpenRegularFile(path, &strReason);
    if (pFile == nullptr) {
        std::fprintf(stderr, "can't open %s\n", path.c_str());
        if (pstrReason != nullptr)
            *pstrReason = strReason;
        return 1;
    }
    // libtiff closes the descriptor it is given.
    const int fd = ::dup(fileno(pFile));
    std::fclose(pFile);
    if (fd < 0)
        return refuse(QStringLiteral("cannot open the file again"));

    std::string error;
    TIFFOpenOptions* pOptions = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(pOptions, KeepFirstError, &error);
    TIFFOpenOptionsSetWarningHandlerExtR(pOptions, IgnoreWarning, nullptr);
    // "m": read, not map: a file cut short while mapped would end the program.
    TIFF* pTiff = TIFFFdOpenExt(fd, path.c_str(), "rm", pOptions);
    TIFFOpenOptionsFree(pOptions);
    if (pTiff == nullptr) {
        ::close(fd);
        return refuse(error.empty() ? QStringLiteral("not a readable TIFF file") : QString::fromLocal8Bit(error));
    }
    struct CloseTiff
    {
        TIFF* p;
        ~CloseTiff() { TIFFClose(p); }
    } closeTiff{pTiff};

    uint32_t nWidth = 0, nHeight = 0;
    TIFFGetField(pTiff, TIFFTAG_IMAGEWIDTH, &nWidth);
    TIFFGetField(pTiff, TIFFTAG_IMAGELENGTH, &nHeight);
    strReason = imagefile::SizeRefusal(nWidth, nHeight);
    if (!strReason.isEmpty())
        return refuse(strReason);

    Layout layout{8, 1, PHOTOMETRIC_MINISBLACK};
    TIFFGetFieldDefaulted(pTiff, TIFFTAG_BITSPERSAMPLE, &layout.nBits);
    TIFFGetFieldDefaulted(pTiff, TIFFTAG_SAMPLESPERPIXEL, &layout.nSamples);
    TIFFGetField(pTiff, TIFFTAG_PHOTOMETRIC, &layout.nPhotometric);
    const bool bDirect = ReadDirectly(layout, pTiff);

    TIFFRGBAImage image;
    if (!bDirect) {
        // The colour as stored: extra samples (alpha) are not blended in.
        uint16_t nExtra = 0;
        uint16_t* pExtraKinds = nullptr;
        if (TIFFGetField(pTiff, TIFFTAG_EXTRASAMPLES, &nExtra, &pExtraKinds) && nExtra > 0) {
            const std::vector<uint16_t> unspecified(nExtra, EXTRASAMPLE_UNSPECIFIED);
            TIFFSetField(pTiff, TIFFTAG_EXTRASAMPLES, nExtra, unspecified.data());
        }
        char szMessage[1024] = "";
        if (!TIFFRGBAImageOK(pTiff, szMessage) || !TIFFRGBAImageBegin(&image, pTiff, 1, szMessage))
            return refuse(QString::fromLocal8Bit(szMessage));
        // Rows as stored, whatever orientation the file asks for (the engine
        // works on the stored grid, and the coordinates the program gives it
        // refer to that), the bottom row first.
        image.orientation = ORIENTATION_TOPLEFT;
        image.req_orientation = ORIENTATION_BOTLEFT;
    }

    uint32_t* pBlock = imagefile::NewPixelBlock(nWidth, nHeight);
    bool bDecoded = false;
    if (pBlock != nullptr) {
        imagefile::AdoptPixelBlock(pDoc, pBlock, nWidth, nHeight);
        bDecoded = bDirect ? ReadPieces(layout, pTiff, nWidth, nHeight, pBlock)
                           : TIFFRGBAImageGet(&image, pBlock, nWidth, nHeight) != 0;
    }
    if (!bDirect) {
        TIFFRGBAImageEnd(&image);
        // The words came as R | G << 8 | B << 16 | A << 24: the block's
        // layout with an alpha byte, which is cleared.
        const size_t nWords = pBlock != nullptr ? size_t(nWidth) * nHeight : 0;
        for (size_t i = 0; i < nWords; ++i)
            if (pBlock[i] != 0)   // pages never written stay unwritten, and cost nothing
                pBlock[i] &= 0x00FFFFFFu;
    }
    if (pBlock == nullptr)
        return refuse(QStringLiteral("not enough memory for a picture of %1 x %2 pixels").arg(nWidth).arg(nHeight));
    if (!bDecoded)
        return refuse(error.empty() ? QStringLiteral("the picture data cannot be read")
                                    : QString::fromLocal8Bit(error));
    return 0;
}
