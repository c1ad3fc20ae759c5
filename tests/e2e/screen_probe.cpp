// Looks for pictures on a screenshot, for the desktop test.
//
//   screen_probe locate SHOT IMAGE
//       Finds where IMAGE is drawn at full size on SHOT. Prints
//       "X Y SHARE" (the screen position of the picture's top-left pixel and
//       the share of its on-screen pixels that match) and exits 0 when at
//       least 90 % match; exits 1 when the picture is not there.
//   screen_probe stddev SHOT X Y W H
//       Prints the standard deviation of the grey levels in the rectangle
//       and exits 0 when it is above 8 (the rectangle holds a picture rather
//       than a plain surface), 1 otherwise.
//
// A match allows a small difference per channel: the program and this tool
// may decode the same JPEG with different inverse transforms.

#include <QCoreApplication>
#include <QImage>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

int Locate(const char* pszShot, const char* pszImage)
{
    QImage shot(QString::fromLocal8Bit(pszShot));
    QImage image(QString::fromLocal8Bit(pszImage));
    if (shot.isNull() || image.isNull()) {
        std::fprintf(stderr, "screen_probe: cannot read %s\n", shot.isNull() ? pszShot : pszImage);
        return 2;
    }
    shot = shot.convertToFormat(QImage::Format_RGB32);
    image = image.convertToFormat(QImage::Format_RGB32);
    if (image.width() < kPatch || image.height() < kPatch)
        return 2;

    // The patch comes from the middle of the picture, which is on screen
    // even when a window edge or a neighbour hides a border.
    const int px = (image.width() - kPatch) / 2;
    const int py = (image.height() - kPatch) / 2;
    const QRgb first = image.pixel(px, py);
    double best = 0;
    int bestX = 0, bestY = 0;
    for (int sy = 0; sy + kPatch <= shot.height(); ++sy) {
        const QRgb* pRow = reinterpret_cast<const QRgb*>(shot.constScanLine(sy));
        for (int sx = 0; sx + kPatch <= shot.width(); ++sx) {
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
    const QImage shot = QImage(QString::fromLocal8Bit(pszShot)).convertToFormat(QImage::Format_Grayscale8);
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "locate") == 0)
        return Locate(argv[2], argv[3]);
    if (argc == 7 && std::strcmp(argv[1], "stddev") == 0)
        return StdDev(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
    std::fprintf(stderr, "usage: screen_probe locate SHOT IMAGE | stddev SHOT X Y W H\n");
    return 2;
}
