#include "processing/MaskFile.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <tiffio.h>
#include <vector>

namespace maskfile {

namespace {

enum class Format { Png, Jpeg, Tiff };

Format FormatFor(const QString& strPath)
{
    const QString strSuffix = QFileInfo(strPath).suffix().toLower();
    if (strSuffix == QLatin1String("jpg") || strSuffix == QLatin1String("jpeg") || strSuffix == QLatin1String("jpe"))
        return Format::Jpeg;
    if (strSuffix == QLatin1String("tif") || strSuffix == QLatin1String("tiff"))
        return Format::Tiff;
    return Format::Png;
}

bool WriteTiff(const QString& strPath, const QImage& grey, QString* pstrError)
{
    TIFF* pTiff = TIFFOpen(QFile::encodeName(strPath).constData(), "w");
    bool bOk = pTiff != nullptr;
    if (bOk) {
        TIFFSetField(pTiff, TIFFTAG_IMAGEWIDTH, uint32_t(grey.width()));
        TIFFSetField(pTiff, TIFFTAG_IMAGELENGTH, uint32_t(grey.height()));
        TIFFSetField(pTiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(pTiff, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(pTiff, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISBLACK));
        TIFFSetField(pTiff, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
        TIFFSetField(pTiff, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_ADOBE_DEFLATE));
        TIFFSetField(pTiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(pTiff, 0));
        std::vector<uchar> row(size_t(grey.width()));
        for (int y = 0; bOk && y < grey.height(); ++y) {
            std::copy(grey.constScanLine(y), grey.constScanLine(y) + grey.width(), row.begin());
            bOk = TIFFWriteScanline(pTiff, row.data(), uint32_t(y), 0) == 1;
        }
        TIFFClose(pTiff);
    }
    if (!bOk && pstrError != nullptr)
        *pstrError = QStringLiteral("the TIFF file could not be written");
    return bOk;
}

QImage ReadTiff(const QString& strPath, QString* pstrError)
{
    TIFFSetWarningHandler(nullptr);
    TIFF* pTiff = TIFFOpen(QFile::encodeName(strPath).constData(), "r");
    uint32_t nWidth = 0, nHeight = 0;
    QImage image;
    if (pTiff != nullptr && TIFFGetField(pTiff, TIFFTAG_IMAGEWIDTH, &nWidth) == 1
        && TIFFGetField(pTiff, TIFFTAG_IMAGELENGTH, &nHeight) == 1 && nWidth > 0 && nHeight > 0)
        image = QImage(int(nWidth), int(nHeight), QImage::Format_ARGB32);
    // Any layout libtiff knows, as RGBA with the top row first.
    if (!image.isNull()
        && TIFFReadRGBAImageOriented(pTiff, nWidth, nHeight, reinterpret_cast<uint32_t*>(image.bits()),
                                     ORIENTATION_TOPLEFT, 0) == 1) {
        // RGBA words are R in the low byte: the image's red and blue trade
        // places, which grey does not mind.
    } else {
        image = QImage();
        if (pstrError != nullptr)
            *pstrError = QStringLiteral("not a TIFF file libtiff can read");
    }
    if (pTiff != nullptr)
        TIFFClose(pTiff);
    return image;
}

} // namespace

QImage ReadThresholded(const QString& strPath, QString* pstrError)
{
    QImage image;
    if (FormatFor(strPath) == Format::Tiff) {
        image = ReadTiff(strPath, pstrError);
    } else {
        QImageReader reader(strPath);
        reader.setAllocationLimit(0);
        image = reader.read();
        if (image.isNull() && pstrError != nullptr)
            *pstrError = reader.errorString();
    }
    if (image.isNull())
        return image;
    QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y) {
        uchar* p = grey.scanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            p[x] = p[x] >= 128 ? 255 : 0;
    }
    return grey;
}

bool Write(const QString& strPath, const QImage& mask, QString* pstrError)
{
    QString strError;
    auto fail = [&](const QString& strReason) {
        if (pstrError != nullptr)
            *pstrError = strReason;
        return false;
    };
    QImage grey = mask.convertToFormat(QImage::Format_Grayscale8);
    if (grey.isNull())
        return fail(QStringLiteral("there is no memory for the mask"));
    for (int y = 0; y < grey.height(); ++y) {
        uchar* p = grey.scanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            p[x] = p[x] >= 128 ? 255 : 0;
    }
    const QFileInfo info(strPath);
    // Made beside its place, so that the rename into it cannot cross file systems.
    QTemporaryFile file(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral("-XXXXXX"));
    if (!file.open())
        return fail(file.errorString());
    file.close();
    const QString strTemp = file.fileName();

    const Format format = FormatFor(strPath);
    if (format == Format::Tiff) {
        if (!WriteTiff(strTemp, grey, &strError))
            return fail(strError);
    } else {
        QImageWriter writer(strTemp, format == Format::Jpeg ? "jpeg" : "png");
        if (format == Format::Jpeg)
            writer.setQuality(100);
        if (!writer.write(grey))
            return fail(writer.errorString());
    }
    if (format == Format::Jpeg && ReadThresholded(strTemp) != grey)
        return fail(QStringLiteral("a JPEG file cannot hold this mask exactly; choose a name ending in .png"));

    // Read and write for the user as any file the user makes; kept as the
    // file it replaces had them.
    QFile::setPermissions(strTemp, info.exists() ? info.permissions()
                                                 : QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                       | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (std::rename(QFile::encodeName(strTemp).constData(), QFile::encodeName(info.absoluteFilePath()).constData())
        != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    file.setAutoRemove(false);
    return true;
}

} // namespace maskfile
