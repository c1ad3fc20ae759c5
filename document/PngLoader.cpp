#include "document/PngLoader.h"

#include "document/CVeltroInterfaceDoc.h"
#include "document/ImageFile.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

namespace {

struct PngErrors
{
    char reason[256];
};

// libpng's errors end in a jump back to the loader's recovery point, with
// the message kept; its warnings (a damaged ancillary chunk, say) change
// nothing in the picture and are not shown.
[[noreturn]] void PngError(png_structp pPng, png_const_charp pszMessage)
{
    auto* pErrors = static_cast<PngErrors*>(png_get_error_ptr(pPng));
    // libpng says "Read Error" when the file ends too soon.
    std::snprintf(pErrors->reason, sizeof pErrors->reason, "%s",
                  std::strcmp(pszMessage, "Read Error") == 0 ? "the file ends before its picture does" : pszMessage);
    png_longjmp(pPng, 1);
}

void PngWarning(png_structp, png_const_charp)
{
}

// The size check, kept out of the function that jumps (a jump must not
// skip the destruction of a string).
bool SizeAccepted(png_uint_32 nWidth, png_uint_32 nHeight, PngErrors& errors)
{
    const QString strRefusal = imagefile::SizeRefusal(nWidth, nHeight);
    std::snprintf(errors.reason, sizeof errors.reason, "%s", strRefusal.toLocal8Bit().constData());
    return strRefusal.isEmpty();
}

} // namespace

int LoadPngImage(CVeltroInterfaceDoc* pDoc, const QString& strPath, QString* pstrReason)
{
    const std::string path = QFile::encodeName(strPath).toStdString();
    QString strReason;
    FILE* pFile = imagefile::OpenRegularFile(path, &strReason);
    if (pFile == nullptr) {
        std::fprintf(stderr, "can't open %s\n", path.c_str());
        if (pstrReason != nullptr)
            *pstrReason = strReason;
        return 1;
    }

    PngErrors errors;
    errors.reason[0] = '\0';
    png_structp pPng = png_create_read_struct(PNG_LIBPNG_VER_STRING, &errors, PngError, PngWarning);
    png_infop pInfo = pPng != nullptr ? png_create_info_struct(pPng) : nullptr;
    if (pInfo == nullptr) {
        png_destroy_read_struct(&pPng, nullptr, nullptr);
        std::fclose(pFile);
        std::snprintf(errors.reason, sizeof errors.reason, "not enough memory to read the file");
        std::fprintf(stderr, "%s: %s\n", path.c_str(), errors.reason);
        if (pstrReason != nullptr)
            *pstrReason = QString::fromLatin1(errors.reason);
        return 1;
    }
    // Filled by rows; kept outside the jump's reach.
    std::vector<png_bytep> rows;

    if (setjmp(png_jmpbuf(pPng))) {
        // The rows read so far stay; the rest of the block is black.
        png_destroy_read_struct(&pPng, &pInfo, nullptr);
        std::fclose(pFile);
        std::fprintf(stderr, "%s: %s\n", path.c_str(), errors.reason);
        if (pstrReason != nullptr)
            *pstrReason = QString::fromLocal8Bit(errors.reason);
        return 1;
    }

    png_init_io(pPng, pFile);
    png_read_info(pPng, pInfo);
    const png_uint_32 nWidth = png_get_image_width(pPng, pInfo);
    const png_uint_32 nHeight = png_get_image_height(pPng, pInfo);
    if (!SizeAccepted(nWidth, nHeight, errors))
        png_longjmp(pPng, 1);

    // Whatever the file holds comes out as R, G, B, 0 per pixel, the block's
    // own layout: palettes and grey expanded, 16 bits scaled to 8, alpha
    // dropped (the colour as stored), a zero filler byte added.
    const int nColorType = png_get_color_type(pPng, pInfo);
    if (nColorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(pPng);
    if (nColorType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(pPng, pInfo) < 8)
        png_set_expand_gray_1_2_4_to_8(pPng);
    png_set_scale_16(pPng);
    png_set_strip_alpha(pPng);
    png_set_gray_to_rgb(pPng);
    png_set_filler(pPng, 0, PNG_FILLER_AFTER);
    png_set_interlace_handling(pPng);
    png_read_update_info(pPng, pInfo);
    if (png_get_rowbytes(pPng, pInfo) != size_t(nWidth) * 4) {
        std::snprintf(errors.reason, sizeof errors.reason, "unsupported pixel layout");
        png_longjmp(pPng, 1);
    }

    uint32_t* pBlock = imagefile::NewPixelBlock(nWidth, nHeight);
    if (pBlock == nullptr) {
        std::snprintf(errors.reason, sizeof errors.reason, "not enough memory for a picture of %u x %u pixels",
                      unsigned(nWidth), unsigned(nHeight));
        png_longjmp(pPng, 1);
    }
    imagefile::AdoptPixelBlock(pDoc, pBlock, nWidth, nHeight);
    // The top row of the picture goes to the last buffer row. An interlaced
    // file fills the rows in several passes, each over what the last left.
    rows.resize(nHeight);
    for (png_uint_32 y = 0; y < nHeight; ++y)
        rows[y] = reinterpret_cast<png_bytep>(pBlock + size_t(nHeight - 1 - y) * nWidth);
    // What follows the pixels (text, time) is not needed and not read.
    png_read_image(pPng, rows.data());
    png_destroy_read_struct(&pPng, &pInfo, nullptr);
    std::fclose(pFile);
    return 0;
}
