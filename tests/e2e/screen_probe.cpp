// Looks for pictures on a screenshot, for the desktop test.
//
//   screen_probe locate SHOT IMAGE [X0 Y0 X1 Y1]
//       Finds where IMAGE is drawn at full size on SHOT (its top-left pixel
//       within the rectangle X0,Y0-X1,Y1 when given). Prints
//       "X Y SHARE" (the screen position of the picture's top-left pixel and
//       the share of its on-screen pixels that match) and exits 0 when at
//       least 90 % match; exits 1 when the picture is not there.
//   screen_probe stddev SHOT X Y W H
//       Prints the standard deviation of the grey levels in the rectangle
//       and exits 0 when it is above 8 (the rectangle holds a picture rather
//       than a plain surface), 1 otherwise.
//   screen_probe same SHOT1 X1 Y1 SHOT2 X2 Y2 W H
//       Whether the W x H rectangles at X1,Y1 of SHOT1 and X2,Y2 of SHOT2
//       show the same (90 % of the pixels match): prints the share.
//   screen_probe blobs MASK
//       The light (128+) regions of a mask: one line "CX CY W H" each, the
//       middle and size of its bounding box.
//   screen_probe covers MASK INNER MARGIN
//       Whether every light pixel of INNER lies within MARGIN pixels of a
//       light pixel of MASK: prints how many do not.
//   screen_probe tint SHOT IMAGE X Y CHANGED
//       For IMAGE drawn at X,Y on SHOT with the changed pixels (CHANGED, a
//       mask) tinted magenta: prints how many changed pixels show untinted
//       and how many other pixels show tinted; exits 0 when nearly all of the
//       former are tinted and none of the latter.
//
// A match allows a small difference per channel: the program and this tool
// may decode the same JPEG with different inverse transforms.

#include <QCoreApplication>
#include <QImage>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const int kTolerance = 12;      // per channel
const int kPatch = 24;          // side of the patch that is searched for
const double kMinShare = 0.90;

bool Near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) <= kTolerance && std::abs(qGreen(a) - qGreen(b)) <= kTolerance
           && std::abs(qBlue(a) - qBlue(b)) <= kTolerance;
}

// The share of the picture's pixels that lie on the screen and match there.
double MatchShare(const QImage& shot, const QImage& image, int x0, int y0, int step)
{
    long long nOn = 0, nMatch = 0;
    for (int y = 0; y < image.height(); y += step) {
        const int sy = y0 + y;
        if (sy < 0 || sy >= shot.height())
            continue;
        const QRgb* pShot = reinterpret_cast<const QRgb*>(shot.constScanLine(sy));
        const QRgb* pImage = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); x += step) {
            const int sx = x0 + x;
            if (sx < 0 || sx >= shot.width())
                continue;
            ++nOn;
            if (Near(pShot[sx], pImage[x]))
                ++nMatch;
        }
    }
    return nOn == 0 ? 0.0 : static_cast<double>(nMatch) / static_cast<double>(nOn);
}

// True when the patch of `image` at (px, py) matches `shot` at (sx, sy):
// at most one pixel in twenty may differ.
bool PatchMatches(const QImage& shot, const QImage& image, int sx, int sy, int px, int py)
{
    int nMiss = 0;
    const int nAllowed = kPatch * kPatch / 20;
    for (int y = 0; y < kPatch; ++y) {
        const QRgb* pShot = reinterpret_cast<const QRgb*>(shot.constScanLine(sy + y)) + sx;
        const QRgb* pImage = reinterpret_cast<const QRgb*>(image.constScanLine(py + y)) + px;
        for (int x = 0; x < kPatch; ++x) {
            if (!Near(pShot[x], pImage[x]) && ++nMiss > nAllowed)
                return false;
        }
    }
    return true;
}

QImage Read(const char* pszPath, QImage::Format format)
{
    QImage image = QImage(QString::fromLocal8Bit(pszPath)).convertToFormat(format);
    if (image.isNull())
        std::fprintf(stderr, "screen_probe: cannot read %s\n", pszPath);
    return image;
}

int Locate(const char* pszShot, const char* pszImage, QRect area = QRect())
{
    const QImage shot = Read(pszShot, QImage::Format_RGB32), image = Read(pszImage, QImage::Format_RGB32);
    if (shot.isNull() || image.isNull() || image.width() < kPatch || image.height() < kPatch)
        return 2;

    // The patch comes from the middle of the picture, which is on screen
    // even when a window edge or a neighbour hides a border.
    const int px = (image.width() - kPatch) / 2;
    const int py = (image.height() - kPatch) / 2;
    const QRgb first = image.pixel(px, py);
    double best = 0;
    int bestX = 0, bestY = 0;
    if (area.isNull())
        area = QRect(-image.width(), -image.height(), shot.width() + 2 * image.width(), shot.height() + 2 * image.height());
    for (int sy = 0; sy + kPatch <= shot.height(); ++sy) {
        const QRgb* pRow = reinterpret_cast<const QRgb*>(shot.constScanLine(sy));
        for (int sx = 0; sx + kPatch <= shot.width(); ++sx) {
            if (!area.contains(sx - px, sy - py))
                continue;
            if (!Near(pRow[sx], first) || !PatchMatches(shot, image, sx, sy, px, py))
                continue;
            const double share = MatchShare(shot, image, sx - px, sy - py, 2);
            if (share > best) {
                best = share;
                bestX = sx - px;
                bestY = sy - py;
            }
        }
    }
    if (best == 0) {
        std::printf("not found\n");
        return 1;
    }
    std::printf("%d %d %.3f\n", bestX, bestY, best);
    return best >= kMinShare ? 0 : 1;
}

int StdDev(const char* pszShot, int x0, int y0, int w, int h)
{
    const QImage shot = Read(pszShot, QImage::Format_Grayscale8);
    if (shot.isNull() || w <= 0 || h <= 0)
        return 2;
    double sum = 0, sum2 = 0;
    long long n = 0;
    for (int y = std::max(0, y0); y < std::min(shot.height(), y0 + h); ++y) {
        const uchar* p = shot.constScanLine(y);
        for (int x = std::max(0, x0); x < std::min(shot.width(), x0 + w); ++x) {
            sum += p[x];
            sum2 += double(p[x]) * p[x];
            ++n;
        }
    }
    if (n == 0)
        return 2;
    const double mean = sum / double(n);
    const double sd = std::sqrt(std::max(0.0, sum2 / double(n) - mean * mean));
    std::printf("%.2f\n", sd);
    return sd > 8 ? 0 : 1;
}

int Same(const char* pszShot1, int x1, int y1, const char* pszShot2, int x2, int y2, int w, int h)
{
    const QImage a = Read(pszShot1, QImage::Format_RGB32), b = Read(pszShot2, QImage::Format_RGB32);
    if (a.isNull() || b.isNull())
        return 2;
    long long n = 0, nMatch = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!a.valid(x1 + x, y1 + y) || !b.valid(x2 + x, y2 + y))
                continue;
            ++n;
            nMatch += Near(a.pixel(x1 + x, y1 + y), b.pixel(x2 + x, y2 + y));
        }
    const double share = n == 0 ? 0.0 : double(nMatch) / double(n);
    std::printf("%.3f\n", share);
    return share >= kMinShare ? 0 : 1;
}

int Blobs(const char* pszMask)
{
    QImage mask = Read(pszMask, QImage::Format_Grayscale8);
    if (mask.isNull())
        return 2;
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x) {
            if (mask.constScanLine(y)[x] < 128)
                continue;
            // Flood the region away, noting its bounds.
            QRect box(x, y, 1, 1);
            std::vector<QPoint> todo{{x, y}};
            mask.scanLine(y)[x] = 0;
            while (!todo.empty()) {
                const QPoint p = todo.back();
                todo.pop_back();
                box |= QRect(p, QSize(1, 1));
                for (const QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                    const QPoint q = p + d;
                    if (mask.valid(q) && mask.constScanLine(q.y())[q.x()] >= 128) {
                        mask.scanLine(q.y())[q.x()] = 0;
                        todo.push_back(q);
                    }
                }
            }
            std::printf("%d %d %d %d\n", box.center().x(), box.center().y(), box.width(), box.height());
        }
    return 0;
}

int Covers(const char* pszMask, const char* pszInner, int nMargin)
{
    const QImage mask = Read(pszMask, QImage::Format_Grayscale8), inner = Read(pszInner, QImage::Format_Grayscale8);
    if (mask.isNull() || inner.isNull())
        return 2;
    long long nOutside = 0;
    for (int y = 0; y < inner.height(); ++y)
        for (int x = 0; x < inner.width(); ++x) {
            if (inner.constScanLine(y)[x] < 128)
                continue;
            bool bNear = false;
            for (int v = std::max(0, y - nMargin); !bNear && v <= std::min(mask.height() - 1, y + nMargin); ++v)
                for (int u = std::max(0, x - nMargin); !bNear && u <= std::min(mask.width() - 1, x + nMargin); ++u)
                    bNear = mask.constScanLine(v)[u] >= 128;
            nOutside += !bNear;
        }
    std::printf("%lld\n", nOutside);
    return nOutside == 0 ? 0 : 1;
}

int Tint(const char* pszShot, const char* pszImage, int x0, int y0, const char* pszChanged)
{
    const QImage shot = Read(pszShot, QImage::Format_RGB32), image = Read(pszImage, QImage::Format_RGB32);
    const QImage changed = Read(pszChanged, QImage::Format_Grayscale8);
    if (shot.isNull() || image.isNull() || changed.isNull() || changed.size() != image.size())
        return 2;
    long long nChanged = 0, nUntinted = 0, nStray = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (!shot.valid(x0 + x, y0 + y))
                continue;
            const QRgb s = shot.pixel(x0 + x, y0 + y), i = image.pixel(x, y);
            // Nearer to the pixel under half-transparent magenta than to the
            // pixel itself, and beyond the decoders' differences.
            auto blend = [](int v, int t) { return (v * 127 + t * 128) / 255; };
            const QRgb e = qRgb(blend(qRed(i), 255), blend(qGreen(i), 0), blend(qBlue(i), 255));
            auto dist = [](QRgb a, QRgb b) {
                return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                 std::abs(qBlue(a) - qBlue(b))});
            };
            const bool bTinted = dist(s, i) > kTolerance && dist(s, e) < dist(s, i);
            if (changed.constScanLine(y)[x] >= 128) {
                ++nChanged;
                nUntinted += !bTinted;
            } else {
                nStray += bTinted;
            }
        }
    std::printf("%lld of %lld changed pixels untinted, %lld others tinted\n", nUntinted, nChanged, nStray);
    return nChanged > 0 && nUntinted * 50 <= nChanged && nStray == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    auto is = [&](const char* pszCommand, int nArgs) { return argc == nArgs + 2 && !std::strcmp(argv[1], pszCommand); };
    if (is("locate", 2))
        return Locate(argv[2], argv[3]);
    if (is("locate", 6))
        return Locate(argv[2], argv[3], QRect(QPoint(std::atoi(argv[4]), std::atoi(argv[5])),
                                              QPoint(std::atoi(argv[6]), std::atoi(argv[7]))));
    if (is("same", 8))
        return Same(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argv[5], std::atoi(argv[6]), std::atoi(argv[7]),
                    std::atoi(argv[8]), std::atoi(argv[9]));
    if (is("blobs", 1))
        return Blobs(argv[2]);
    if (is("covers", 3))
        return Covers(argv[2], argv[3], std::atoi(argv[4]));
    if (is("tint", 5))
        return Tint(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]), argv[6]);
    if (is("stddev", 5))
        return StdDev(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
    std::fprintf(stderr, "usage: screen_probe locate SHOT IMAGE [X0 Y0 X1 Y1] | stddev SHOT X Y W H | "
                         "same SHOT1 X1 Y1 SHOT2 X2 Y2 W H | blobs MASK | covers MASK INNER MARGIN | "
                         "tint SHOT IMAGE X Y CHANGED\n");
    return 2;
}
