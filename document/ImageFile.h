#pragma once

#include <QString>

#include <cstdint>
#include <cstdio>
#include <string>

class CVeltroInterfaceDoc;

// The picture files the program reads (JPEG, TIFF and PNG), told apart by
// their first bytes rather than by their names, and opened without ever
// blocking on something that is not a plain file.
namespace imagefile {

enum class Format { Unknown, Jpeg, Tiff, Png };

// The format the first bytes of a file announce.
Format FormatOfBytes(const unsigned char* pBytes, size_t nLength);
// The same for the file at strPath; Unknown when it cannot be read or is not
// a regular file.
Format FormatOf(const QString& strPath);
// The usual file-name suffix of a format, without the dot: "jpg", "tif" or
// "png" ("jpg" for Unknown).
QString Suffix(Format format);
// A file chooser's filter for the files of a format, as the Open dialog names
// them: "JPG Image (*.jpg *.jpeg)", "TIFF Image (*.tif *.tiff)" or
// "PNG Image (*.png)" (the JPEG one for Unknown).
QString DialogFilter(Format format);

// What strPath names when it exists but is not a regular file (symbolic
// links followed): "a folder", "a named pipe", "a device", "a socket" or
// "a special file". Empty when it is a regular file or does not exist.
QString NonRegularKind(const QString& strPath);

// Opens a regular file for reading. A named pipe or a device is refused
// without waiting for it (opening a pipe would otherwise block until some
// other program writes into it). On failure returns null with the reason
// ("No such file or directory", "it is a named pipe, not a regular file").
// *pnSize receives the file's size.
FILE* OpenRegularFile(const std::string& path, QString* pstrReason, uint64_t* pnSize = nullptr);

// The size check shared by the loaders: empty when a picture of w x h
// pixels is accepted (jpeglimits::kMaxPixels), else the reason.
QString SizeRefusal(uint64_t nWidth, uint64_t nHeight);
// A pixel block of w x h words, all 0 (black), from libtiff's allocator (the
// document releases it with _TIFFfree); null when there is not enough memory.
// Pages no pixel is written to cost no memory.
uint32_t* NewPixelBlock(uint32_t nWidth, uint32_t nHeight);
// Sets nWords words to 0, giving whole pages back to the system.
void ClearWords(uint32_t* pWords, size_t nWords);
// Hands the block to the document with its size (a block the document held
// before is released).
void AdoptPixelBlock(CVeltroInterfaceDoc* pDoc, uint32_t* pBlock, uint32_t nWidth, uint32_t nHeight);

} // namespace imagefile

// Decodes the picture at strPath (JPEG, TIFF or PNG, whatever its name says)
// into pDoc's pixel block; the same contract as LoadJpegImage: 0 decoded, 1
// refused or failed with the reason on standard error and in *pstrReason.
int LoadImageFile(CVeltroInterfaceDoc* pDoc, const QString& strPath, QString* pstrReason = nullptr);
