#include "document/ImageFile.h"

#include "document/CVeltroInterfaceDoc.h"
#include "document/JpegLoader.h"
#include "document/PngLoader.h"
#include "document/TiffLoader.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tiffio.h>

namespace imagefile {

namespace {

QString KindOfMode(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("a special file");
}

} // namespace

Format FormatOfBytes(const unsigned char* p, size_t n)
{
    if (n >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF)
        return Format::Jpeg;
    if (n >= 8 && std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0)
        return Format::Png;
    // Classic TIFF (42) and BigTIFF (43), in either byte order.
    if (n >= 4 && ((p[0] == 'I' && p[1] == 'I' && (p[2] == 42 || p[2] == 43) && p[3] == 0)
                   || (p[0] == 'M' && p[1] == 'M' && p[2] == 0 && (p[3] == 42 || p[3] == 43))))
        return Format::Tiff;
    return Format::Unknown;
}

Format FormatOf(const QString& strPath)
{
    FILE* pFile = OpenRegularFile(QFile::encodeName(strPath).toStdString(), nullptr);
    if (pFile == nullptr)
        return Format::Unknown;
    unsigned char bytes[8];
    const size_t n = std::fread(bytes, 1, sizeof bytes, pFile);
    std::fclose(pFile);
    return FormatOfBytes(bytes, n);
}

QString Suffix(Format format)
{
    switch (format) {
    case Format::Tiff:
        return QStringLiteral("tif");
    case Format::Png:
        return QStringLiteral("png");
    default:
        return QStringLiteral("jpg");
    }
}

QString DialogFilter(Format format)
{
    switch (format) {
    case Format::Tiff:
        return QStringLiteral("TIFF Image (*.tif *.tiff)");
    case Format::Png:
        return QStringLiteral("PNG Image (*.png)");
    default:
        return QStringLiteral("JPG Image (*.jpg *.jpeg)");
    }
}

QString NonRegularKind(const QString& strPath)
{
    struct stat st;
    if (strPath.isEmpty() || ::stat(QFile::encodeName(strPath).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return QString();
    return KindOfMode(st.st_mode);
}

FILE* OpenRegularFile(const std::string& path, QString* pstrReason, uint64_t* pnSize)
{
    // Non-blocking, so that opening a named pipe returns at once; the flag is
    // taken off again once the file is known to be a plain one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (pstrReason != nullptr)
            *pstrReason = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        if (pstrReason != nullptr)
            *pstrReason = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        if (pstrReason != nullptr)
            *pstrReason = QStringLiteral("it is %1, not a regular file").arg(KindOfMode(st.st_mode));
        ::close(fd);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* pFile = ::fdopen(fd, "rb");
    if (pFile == nullptr) {
        if (pstrReason != nullptr)
            *pstrReason = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return nullptr;
    }
    if (pnSize != nullptr)
        *pnSize = uint64_t(st.st_size);
    return pFile;
}

QString SizeRefusal(uint64_t nWidth, uint64_t nHeight)
{
    if (nWidth == 0 || nHeight == 0)
        return QStringLiteral("the picture has no pixels (%1 x %2)").arg(nWidth).arg(nHeight);
    if (nWidth > uint64_t(INT32_MAX) || nHeight > uint64_t(INT32_MAX) || nWidth * nHeight > jpeglimits::kMaxPixels)
        return QStringLiteral("the picture is too large (%1 x %2 pixels; at most %3 pixels are accepted)")
            .arg(nWidth)
            .arg(nHeight)
            .arg(jpeglimits::kMaxPixels);
    return QString();
}

void ClearWords(uint32_t* pWords, size_t nWords)
{
    // Whole pages are handed back to the system instead of written (a
    // private anonymous page reads as zero afterwards): a tiny file that
    // declares a huge picture then costs no memory for the part it has no
    // data for.
    const size_t nBytes = nWords * sizeof(uint32_t);
    auto* const pStart = reinterpret_cast<unsigned char*>(pWords);
    const long page = sysconf(_SC_PAGESIZE);
    if (page <= 0 || nBytes < 16 * size_t(page)) {
        std::memset(pStart, 0, nBytes);
        return;
    }
    const uintptr_t begin = reinterpret_cast<uintptr_t>(pStart);
    const uintptr_t first = (begin + uintptr_t(page) - 1) & ~(uintptr_t(page) - 1);
    const uintptr_t last = (begin + nBytes) & ~(uintptr_t(page) - 1);
    std::memset(pStart, 0, first - begin);
    if (madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED) != 0)
        std::memset(reinterpret_cast<void*>(first), 0, last - first);
    std::memset(reinterpret_cast<void*>(last), 0, begin + nBytes - last);
}

uint32_t* NewPixelBlock(uint32_t nWidth, uint32_t nHeight)
{
    const uint64_t nBytes = uint64_t(nWidth) * nHeight * sizeof(uint32_t);
    if (nBytes > uint64_t(std::numeric_limits<tmsize_t>::max()) || nBytes > std::numeric_limits<size_t>::max())
        return nullptr;
    auto* pBlock = static_cast<uint32_t*>(_TIFFmalloc(tmsize_t(nBytes)));
    if (pBlock != nullptr)
        ClearWords(pBlock, size_t(nWidth) * nHeight);
    return pBlock;
}

void AdoptPixelBlock(CVeltroInterfaceDoc* pDoc, uint32_t* pBlock, uint32_t nWidth, uint32_t nHeight)
{
    if (pDoc->m_pImage != nullptr)
        _TIFFfree(pDoc->m_pImage);
    pDoc->m_nHeight = int32_t(nHeight);
    pDoc->m_nWidth = int32_t(nWidth);
    pDoc->m_pImage = pBlock;
    pDoc->m_nChannels = 3;
}

} // namespace imagefile

int LoadImageFile(CVeltroInterfaceDoc* pDoc, const QString& strPath, QString* pstrReason)
{
    using imagefile::Format;
    const std::string path = QFile::encodeName(strPath).toStdString();
    QString strReason;
    FILE* pFile = imagefile::OpenRegularFile(path, &strReason);
    if (pFile == nullptr) {
        std::fprintf(stderr, "can't open %s: %s\n", path.c_str(), strReason.toLocal8Bit().constData());
        if (pstrReason != nullptr)
            *pstrReason = strReason;
        return 1;
    }
    unsigned char bytes[8];
    const size_t n = std::fread(bytes, 1, sizeof bytes, pFile);
    std::fclose(pFile);

    switch (imagefile::FormatOfBytes(bytes, n)) {
    case Format::Jpeg:
        return LoadJpegImage(pDoc, strPath, pstrReason);
    case Format::Tiff:
        return LoadTiffImage(pDoc, strPath, pstrReason);
    case Format::Png:
        return LoadPngImage(pDoc, strPath, pstrReason);
    case Format::Unknown:
        break;
    }
    strReason = n == 0 ? QStringLiteral("the file is empty")
                       : QStringLiteral("the file is not a JPEG, TIFF or PNG picture");
    std::fprintf(stderr, "%s: %s\n", path.c_str(), strReason.toLocal8Bit().constData());
    if (pstrReason != nullptr)
        *pstrReason = strReason;
    return 1;
}
