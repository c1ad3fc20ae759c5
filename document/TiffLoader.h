#pragma once

#include <QString>

class CVeltroInterfaceDoc;

// Decodes a TIFF file (8 or 16 bits per sample, in strips or tiles, RGB,
// grey, palette or CMYK; the first picture of the file) into pDoc's pixel
// block, rows as stored, with the same contract and size limit as
// LoadJpegImage. 16-bit samples are shown at 8 bits; an alpha channel is
// ignored (the colour is shown as stored).
int LoadTiffImage(CVeltroInterfaceDoc* pDoc, const QString& strPath, QString* pstrReason = nullptr);
