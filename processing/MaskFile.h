#pragma once

#include <QImage>
#include <QString>

// Blotch mask files as the engine reads them: a pixel is marked when its grey
// level is 128 or more.
namespace maskfile {

// Writes a mask (greyscale, 0 or 255) so that the engine's threshold gives
// back exactly its pixels, in the format its name asks for: PNG for ".png",
// TIFF for ".tif" and ".tiff", a greyscale JPEG at full quality for ".jpg",
// ".jpeg" and ".jpe" (decoded and checked before it is used), PNG data under
// any other name. The file is made beside its place and renamed into it, so
// that a failure leaves what was there before. False, with the reason in
// *pstrError, when it could not be written.
bool Write(const QString& strPath, const QImage& mask, QString* pstrError = nullptr);

// A mask file read back as the engine reads it: 255 where the grey level is
// 128 or more, 0 elsewhere. Null, with the reason, when it cannot be read.
QImage ReadThresholded(const QString& strPath, QString* pstrError = nullptr);

} // namespace maskfile
