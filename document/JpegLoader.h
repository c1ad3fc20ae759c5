#pragma once

#include <QString>
#include <cstdint>

class CVeltroInterfaceDoc;

// Limits that keep a hostile or broken file from taking the program down:
// a picture may declare at most this many pixels (a 200-megapixel scan opens;
// a file claiming more than a gigapixel is refused before anything is
// allocated), the decoder's own working memory is capped (a progressive
// 200-megapixel file with four full-size components needs 1.6 GB of it), and
// so is the number of progressive scans it will read: each scan costs a pass
// over the whole picture, so larger pictures get fewer (at most
// kMaxScanPixels / pixels, never fewer than kMinScans, never more than
// kMaxScans). Genuine files have a few dozen scans at most. A file read in
// several scans must also hold at least one bit for every 8 x 8 block it
// declares (each block is coded once in the first scan at least), or it is
// refused before the decoder sets up the picture.
namespace jpeglimits {
constexpr uint64_t kMaxPixels = 1000ull * 1000ull * 1000ull;
constexpr long kMaxDecoderMemory = 2048L * 1024L * 1024L;
constexpr int kMaxScans = 1000;
constexpr int kMinScans = 64;
constexpr uint64_t kMaxScanPixels = 10000ull * 1000ull * 1000ull;
} // namespace jpeglimits

// How many progressive scans a picture of width x height may have before the
// decoder gives up on it.
int MaxProgressiveScans(uint32_t nWidth, uint32_t nHeight);

// Decodes the JPEG file at strPath into pDoc's pixel block (see
// CVeltroInterfaceDoc for the layout) and sets its width, height and channel
// count. Returns 0 when the whole picture was decoded, 1 when the file could
// not be opened or the decoder gave up; the reason then goes to standard
// error and, when pstrReason is given, to the caller. If decoding failed
// part-way, the block exists and the rows never decoded are black; so are
// the rows of a damaged file that has no data left for them (result 0).
int LoadJpegImage(CVeltroInterfaceDoc* pDoc, QString strPath, QString* pstrReason = nullptr);
