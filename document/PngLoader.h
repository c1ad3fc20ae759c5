#pragma once

#include <QString>

class CVeltroInterfaceDoc;

// Decodes a PNG file (any bit depth, grey, RGB or palette, interlaced or
// not) into pDoc's pixel block, with the same contract and size limit as
// LoadJpegImage. 16-bit samples are shown at 8 bits; an alpha channel or a
// transparent colour is ignored (the colour is shown as stored).
int LoadPngImage(CVeltroInterfaceDoc* pDoc, const QString& strPath, QString* pstrReason = nullptr);
