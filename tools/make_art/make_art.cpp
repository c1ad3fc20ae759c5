// Draws every picture of the program (icons, toolbar images, splash picture,
// About-box logo) and writes them as PNG files under the given res/ folder.
//
//   make_art <res-dir>
//
// Small images are designed on their pixel grid: one drawing unit is one
// pixel of the 1x image, outlines are one unit wide and sit on pixel centres
// (x + 0.5), so the 1x rendering stays crisp and the 2x rendering is the same
// design with twice the detail. Where antialiasing would blur a 16 x 15
// toolbar image, a hand-placed pixel map replaces the 1x rendering.
//
// The output is deterministic: the only randomness is a fixed-seed generator.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QString>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Palette shared by every picture.
namespace pal {
const QColor ink(0x3b, 0x31, 0x29);        // outlines, text
const QColor paper(0xfd, 0xf9, 0xef);      // pages, photo borders
const QColor paperShade(0xe4, 0xd8, 0xbf); // back of a page, shaded paper
const QColor line(0xa8, 0xa0, 0x94);       // text lines on pages
const QColor metal(0xd9, 0xd4, 0xcb);      // light grey parts
const QColor metalDark(0x8f, 0x88, 0x7e);  // darker grey parts
const QColor folder(0xf3, 0xc2, 0x55);     // folder front
const QColor folderBack(0xd8, 0x98, 0x30); // folder back
const QColor blue(0x3a, 0x8b, 0xd6);       // water, diskette
const QColor blueDark(0x1d, 0x55, 0x91);   // outline of blue things
const QColor blueLight(0xa6, 0xd5, 0xf6);  // water highlight
const QColor fox(0xe0, 0x76, 0x2a);        // fox fur
const QColor foxDark(0xa4, 0x4f, 0x18);    // ear insides, shading
const QColor cream(0xff, 0xf6, 0xe6);      // fox cheeks
const QColor sky(0xee, 0xd9, 0xac);        // sepia photo: sky
const QColor hill(0xa9, 0x7b, 0x4c);       // sepia photo: land
const QColor hillDark(0x74, 0x50, 0x30);   // sepia photo: shadowed land
const QColor sun(0xfb, 0xee, 0xcc);        // sepia photo: sun
const QColor plaster(0xe6, 0xd2, 0xa8);    // cracked surface
const QColor plasterDark(0xc9, 0xae, 0x7d);
const QColor gold(0xf2, 0xb5, 0x2c);       // restoration sparkle
const QColor goldDark(0xb5, 0x7a, 0x12);
const QColor red(0xc8, 0x3f, 0x36);        // scissor handles
} // namespace pal

// Deterministic pseudo-random numbers (xorshift32), identical on every
// platform, so regenerating the pictures gives the same files.
class Rng {
public:
    explicit Rng(std::uint32_t seed) : m_state(seed ? seed : 1u) {}
    std::uint32_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    double uniform() { return (next() >> 8) / double(1u << 24); } // [0, 1)
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }

private:
    std::uint32_t m_state;
};

// Rectangle whose one-unit outline covers pixel columns x0..x1, rows y0..y1.
QRectF box(int x0, int y0, int x1, int y1)
{
    return QRectF(x0 + 0.5, y0 + 0.5, x1 - x0, y1 - y0);
}

QPen inkPen(const QColor& c = pal::ink, qreal w = 1.0)
{
    QPen pen(c, w);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setMiterLimit(1.5); // sharp tips (ears, drop points) stay inside the image
    pen.setCapStyle(Qt::SquareCap);
    return pen;
}

void outlined(QPainter& p, const QPainterPath& path, const QBrush& fill,
              const QColor& stroke = pal::ink)
{
    p.setPen(inkPen(stroke));
    p.setBrush(fill);
    p.drawPath(path);
}

// Filled rather than stroked, so the corners are as solid as the sides.
void outlinedRect(QPainter& p, const QRectF& r, const QBrush& fill,
                  const QColor& stroke = pal::ink)
{
    p.fillRect(r.adjusted(-0.5, -0.5, 0.5, 0.5), stroke);
    p.fillRect(r.adjusted(0.5, 0.5, -0.5, -0.5), fill);
}

QPainterPath polygonPath(std::initializer_list<QPointF> pts)
{
    QPainterPath path;
    path.addPolygon(QPolygonF(QVector<QPointF>(pts)));
    path.closeSubpath();
    return path;
}

// A run of pixels (a text line on a page and the like).
void pixels(QPainter& p, qreal x, qreal y, qreal w, qreal h, const QColor& c)
{
    p.fillRect(QRectF(x, y, w, h), c);
}

// ---------------------------------------------------------------------------
// Shared motifs. Each draws in pixel units; `hi` is set when rendering at 2x
// or larger and allows half-unit detail.

// Water drop with tip at (cx, top) and round body of radius r centred at
// (cx, cy).
void drawDrop(QPainter& p, qreal cx, qreal top, qreal cy, qreal r, bool hi)
{
    QPainterPath drop;
    drop.moveTo(cx, top);
    drop.cubicTo(cx + r * 0.25, top + (cy - top) * 0.45, cx + r, cy - r * 0.75, cx + r, cy);
    drop.arcTo(QRectF(cx - r, cy - r, 2 * r, 2 * r), 0, -180);
    drop.cubicTo(cx - r, cy - r * 0.75, cx - r * 0.25, top + (cy - top) * 0.45, cx, top);
    drop.closeSubpath();
    QRadialGradient g(QPointF(cx - r * 0.35, cy - r * 0.35), r * 1.6);
    g.setColorAt(0.0, pal::blueLight);
    g.setColorAt(0.45, pal::blue);
    g.setColorAt(1.0, pal::blue.darker(125));
    outlined(p, drop, g, pal::blueDark);
    // Highlight.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, hi ? 210 : 190));
    const qreal hw = std::max<qreal>(1.0, r * 0.32);
    p.drawEllipse(QRectF(cx - r * 0.62, cy - r * 0.55, hw, r * 0.7));
}

// Front view of a fox's head inside a 16-unit wide box starting at row y0.
void drawFoxHead(QPainter& p, qreal y0, bool hi)
{
    p.save();
    p.translate(0, y0);
    const QPainterPath head = polygonPath({{8, 14.5}, {0.5, 6.5}, {1.5, 0.5}, {5.5, 3.5},
                                           {10.5, 3.5}, {14.5, 0.5}, {15.5, 6.5}});
    outlined(p, head, pal::fox);
    p.setPen(Qt::NoPen);
    // Ear insides.
    p.setBrush(pal::foxDark);
    p.drawPolygon(QPolygonF({{2.2, 2.0}, {4.6, 3.9}, {2.6, 5.2}}));
    p.drawPolygon(QPolygonF({{13.8, 2.0}, {11.4, 3.9}, {13.4, 5.2}}));
    // White cheeks and muzzle.
    p.setBrush(pal::cream);
    p.drawPolygon(QPolygonF({{1.0, 7.0}, {5.0, 8.5}, {8.0, 13.8}}));
    p.drawPolygon(QPolygonF({{15.0, 7.0}, {11.0, 8.5}, {8.0, 13.8}}));
    // Eyes and nose.
    p.setBrush(pal::ink);
    if (hi) {
        p.drawEllipse(QRectF(4.6, 6.2, 1.6, 1.6));
        p.drawEllipse(QRectF(9.8, 6.2, 1.6, 1.6));
        p.drawEllipse(QRectF(6.9, 12.2, 2.2, 1.6));
    } else {
        pixels(p, 5, 6, 1, 2, pal::ink);
        pixels(p, 10, 6, 1, 2, pal::ink);
        pixels(p, 7, 12, 2, 2, pal::ink);
    }
    p.restore();
}

// Pixel path through pixel centres: {x, y} pairs of pixel indices.
QPolygonF pixelPath(std::initializer_list<QPoint> pts)
{
    QPolygonF pl;
    for (const QPoint& q : pts)
        pl << QPointF(q.x() + 0.5, q.y() + 0.5);
    return pl;
}

// Crack network on a plaster tile covering rows y0..y1.
void drawCrackTile(QPainter& p, int y0, int y1, const std::vector<QPolygonF>& cracks, bool hi)
{
    QLinearGradient g(0, y0, 16, y1);
    g.setColorAt(0, pal::plaster.lighter(106));
    g.setColorAt(1, pal::plasterDark);
    outlinedRect(p, box(0, y0, 15, y1), g);
    if (hi) {
        // A light lip along each crack makes it read as a fissure.
        p.setPen(QPen(QColor(255, 250, 235, 200), 0.5));
        p.setBrush(Qt::NoBrush);
        for (const QPolygonF& c : cracks)
            p.drawPolyline(c.translated(0.5, 0.5));
    }
    QPen pen(pal::ink, hi ? 0.9 : 1.0);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    for (const QPolygonF& c : cracks)
        p.drawPolyline(c);
}

// A small sepia landscape (sky, sun, hills) filling `r`.
void drawSepiaScene(QPainter& p, const QRectF& r, bool hi, bool beforeAfter = false)
{
    p.save();
    p.setClipRect(r);
    QLinearGradient skyG(r.topLeft(), r.bottomLeft());
    skyG.setColorAt(0, pal::sky.lighter(104));
    skyG.setColorAt(1, pal::sky.darker(104));
    p.fillRect(r, skyG);
    p.setPen(Qt::NoPen);
    p.setBrush(pal::sun);
    const qreal sr = r.width() * (hi ? 0.13 : 0.15);
    p.drawEllipse(QPointF(r.left() + r.width() * 0.30, r.top() + r.height() * 0.32), sr, sr);
    QPainterPath far;
    far.moveTo(r.left(), r.top() + r.height() * 0.70);
    far.cubicTo(r.left() + r.width() * 0.35, r.top() + r.height() * 0.40,
                r.left() + r.width() * 0.65, r.top() + r.height() * 0.45,
                r.right(), r.top() + r.height() * 0.55);
    far.lineTo(r.bottomRight());
    far.lineTo(r.bottomLeft());
    far.closeSubpath();
    p.setBrush(pal::hill);
    p.drawPath(far);
    QPainterPath near;
    near.moveTo(r.left(), r.top() + r.height() * 0.92);
    near.cubicTo(r.left() + r.width() * 0.45, r.top() + r.height() * 0.70,
                 r.left() + r.width() * 0.75, r.top() + r.height() * 0.72,
                 r.right(), r.top() + r.height() * 0.80);
    near.lineTo(r.bottomRight());
    near.lineTo(r.bottomLeft());
    near.closeSubpath();
    p.setBrush(pal::hillDark);
    p.drawPath(near);
    if (beforeAfter) {
        // The left half as it came in (yellowed, spotted), the right half
        // restored, as on the splash picture.
        const qreal mid = std::round(r.center().x());
        const QRectF left(r.left(), r.top(), mid - r.left(), r.height());
        p.fillRect(left, QColor(0xb0, 0x80, 0x30, 80));
        p.setBrush(QColor(0x8a, 0x4a, 0x1c, 170));
        p.drawEllipse(QPointF(left.left() + left.width() * 0.35, r.top() + r.height() * 0.25), 0.7, 0.7);
        p.drawEllipse(QPointF(left.left() + left.width() * 0.70, r.top() + r.height() * 0.55), 0.5, 0.5);
        p.fillRect(QRectF(mid - 0.25, r.top(), 0.5, r.height()), QColor(255, 255, 255, 230));
    }
    p.restore();
}

// Four-pointed sparkle centred on (cx, cy).
void drawSparkle(QPainter& p, qreal cx, qreal cy, qreal r, bool outline)
{
    const qreal k = r * 0.28;
    QPainterPath s = polygonPath({{cx, cy - r}, {cx + k, cy - k}, {cx + r, cy}, {cx + k, cy + k},
                                  {cx, cy + r}, {cx - k, cy + k}, {cx - r, cy}, {cx - k, cy - k}});
    if (outline) {
        QPen pen(pal::goldDark, 1.0);
        pen.setJoinStyle(Qt::RoundJoin);
        p.setPen(pen);
    } else {
        p.setPen(Qt::NoPen);
    }
    p.setBrush(pal::gold);
    p.drawPath(s);
}

// ---------------------------------------------------------------------------
// Toolbar images, 16 x 15 units.

void drawOpen(QPainter& p, bool)
{
    outlined(p, polygonPath({{0.5, 13.5}, {0.5, 1.5}, {5.5, 1.5}, {7.5, 3.5}, {13.5, 3.5}, {13.5, 13.5}}),
             pal::folderBack);
    outlinedRect(p, box(3, 5, 12, 9), pal::paper);
    outlined(p, polygonPath({{0.5, 13.5}, {3.5, 7.5}, {15.5, 7.5}, {12.5, 13.5}}), pal::folder);
}

void drawSave(QPainter& p, bool hi)
{
    outlined(p, polygonPath({{0.5, 0.5}, {12.5, 0.5}, {14.5, 2.5}, {14.5, 14.5}, {0.5, 14.5}}), pal::blue,
             pal::blueDark);
    outlinedRect(p, box(3, 0, 11, 5), pal::metal, pal::blueDark);
    pixels(p, 9, 1, 2, 4, pal::blueDark);
    outlinedRect(p, box(2, 8, 12, 14), pal::paper, pal::blueDark);
    pixels(p, 4, 10, 7, 1, pal::line);
    pixels(p, 4, 12, 7, 1, pal::line);
    if (hi)
        pixels(p, 1, 1, 0.5, 13, pal::blueLight);
}

void drawCut(QPainter& p, bool)
{
    // Blades.
    QPen blade(pal::ink, 1.8);
    blade.setCapStyle(Qt::RoundCap);
    p.setPen(blade);
    p.drawLine(QPointF(4.5, 1.0), QPointF(10.0, 9.0));
    p.drawLine(QPointF(11.5, 1.0), QPointF(6.0, 9.0));
    p.setPen(QPen(pal::metal, 0.7));
    p.drawLine(QPointF(4.6, 1.2), QPointF(9.8, 8.7));
    p.drawLine(QPointF(11.4, 1.2), QPointF(6.2, 8.7));
    p.setPen(Qt::NoPen);
    p.setBrush(pal::ink);
    p.drawEllipse(QPointF(8, 6.4), 0.8, 0.8);
    // Ring handles.
    p.setPen(QPen(pal::red, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(4.5, 11.5), 2.3, 2.3);
    p.drawEllipse(QPointF(11.5, 11.5), 2.3, 2.3);
}

void drawPage(QPainter& p, int x0, int y0, int x1, int y1)
{
    outlinedRect(p, box(x0, y0, x1, y1), pal::paper);
    for (int y = y0 + 3; y < y1 - 1; y += 2)
        pixels(p, x0 + 2, y, x1 - x0 - 3, 1, pal::line);
}

void drawCopy(QPainter& p, bool)
{
    drawPage(p, 1, 0, 9, 10);
    drawPage(p, 5, 4, 14, 14);
}

void drawPaste(QPainter& p, bool)
{
    outlinedRect(p, box(1, 1, 11, 13), QColor(0xc0, 0x8a, 0x50));
    outlinedRect(p, box(4, 0, 8, 2), pal::metal);
    drawPage(p, 6, 5, 14, 14);
}

void drawPrint(QPainter& p, bool)
{
    outlinedRect(p, box(3, 0, 12, 6), pal::paper);
    pixels(p, 5, 2, 6, 1, pal::line);
    pixels(p, 5, 4, 6, 1, pal::line);
    QLinearGradient g(0, 5, 0, 12);
    g.setColorAt(0, pal::metal.lighter(105));
    g.setColorAt(1, pal::metalDark);
    outlinedRect(p, box(0, 5, 15, 11), g);
    pixels(p, 12, 7, 2, 1, QColor(0x4c, 0xb0, 0x5a));
    outlinedRect(p, box(3, 10, 12, 14), pal::paper);
    pixels(p, 5, 12, 6, 1, pal::line);
}

void drawBlotch(QPainter& p, bool hi) { drawDrop(p, 8, 0.5, 9.5, 5.0, hi); }

// Same crack as the 1x pixel map.
void drawCrack(QPainter& p, bool hi)
{
    drawCrackTile(p, 1, 13,
                  {pixelPath({{5, 1}, {5, 2}, {6, 3}, {6, 4}, {7, 5}, {7, 6}, {6, 7}, {6, 8}, {7, 9}, {8, 10},
                              {8, 11}, {9, 12}, {9, 13}}),
                   pixelPath({{7, 5}, {8, 5}, {9, 4}, {10, 4}, {11, 5}, {12, 5}, {13, 4}}),
                   pixelPath({{6, 8}, {5, 8}, {4, 9}, {3, 9}, {2, 10}}),
                   pixelPath({{8, 10}, {9, 10}, {10, 9}, {11, 9}, {12, 10}})},
                  hi);
}

void drawFoxing(QPainter& p, bool hi) { drawFoxHead(p, 0, hi); }

void drawCrease(QPainter& p, bool hi)
{
    outlined(p, polygonPath({{2.5, 0.5}, {13.5, 0.5}, {13.5, 8.5}, {7.5, 14.5}, {2.5, 14.5}}), pal::paper);
    for (int y = 3; y <= 9; y += 2)
        pixels(p, 5, y, 6, 1, pal::line);
    pixels(p, 5, 11, 2, 1, pal::line);
    // The folded-over corner shows the back of the sheet.
    QLinearGradient g(13.5, 8.5, 7.5, 14.5);
    g.setColorAt(0, pal::paperShade.darker(hi ? 108 : 104));
    g.setColorAt(1, pal::paperShade);
    outlined(p, polygonPath({{13.5, 8.5}, {7.5, 8.5}, {7.5, 14.5}}), g);
}

void drawAbout(QPainter& p, bool hi)
{
    QRadialGradient g(QPointF(6, 5), 9);
    g.setColorAt(0, pal::blue.lighter(115));
    g.setColorAt(1, pal::blue.darker(110));
    p.setPen(inkPen(pal::blueDark));
    p.setBrush(g);
    p.drawEllipse(QRectF(1, 0.5, 14, 14));
    QFont f("DejaVu Sans");
    f.setBold(true);
    f.setPixelSize(11);
    f.setHintingPreference(hi ? QFont::PreferNoHinting : QFont::PreferFullHinting);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(1, 0.5, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
}

// Two pictures side by side: the source with a stain, the result without.
void drawCompare(QPainter& p, bool hi)
{
    outlinedRect(p, box(0, 2, 7, 12), pal::paper);
    outlinedRect(p, box(8, 2, 15, 12), pal::paper);
    drawSepiaScene(p, QRectF(1, 3, 6, 9), hi);
    drawSepiaScene(p, QRectF(9, 3, 6, 9), hi);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x6a, 0x3a, 0x14));
    p.drawEllipse(QPointF(4.0, 6.0), hi ? 1.25 : 1.5, hi ? 1.25 : 1.5);
    pixels(p, 7, 0, 1, 15, pal::ink);
}

// ---------------------------------------------------------------------------
// Window icons, 16 x 16 units.

void drawAppIcon(QPainter& p, bool hi)
{
    // A framed photograph ...
    outlinedRect(p, box(0, 3, 13, 15), pal::paper);
    drawSepiaScene(p, QRectF(2, 5, 10, 9), hi, hi);
    p.setPen(inkPen(pal::hillDark));
    p.setBrush(Qt::NoBrush);
    if (hi) {
        p.setPen(QPen(pal::hillDark, 0.5));
        p.drawRect(QRectF(2.25, 5.25, 9.5, 8.5));
    }
    // ... being brought back to life.
    if (hi) {
        drawSparkle(p, 12.5, 3.5, 3.5, true);
        drawSparkle(p, 15.0, 7.3, 1.2, false);
    } else {
        // Pixel-placed at 16 x 16, where the drawn star would blur.
        pixels(p, 12, 0, 1, 7, pal::gold);
        pixels(p, 9, 3, 7, 1, pal::gold);
        pixels(p, 11, 2, 3, 3, pal::gold);
        pixels(p, 12, 3, 1, 1, pal::sun);
        for (const QPoint& q : {QPoint(11, 2), QPoint(13, 2), QPoint(11, 4), QPoint(13, 4)})
            pixels(p, q.x(), q.y(), 1, 1, pal::goldDark);
    }
}

void drawBlotchIcon(QPainter& p, bool hi)
{
    drawDrop(p, 6, 2.5, 10.5, 4.5, hi);
    drawDrop(p, 12.5, 0.5, 5.2, 2.7, hi);
    drawDrop(p, 12.5, 10.5, 13.3, 1.9, hi);
}

// Same network as the 16 x 16 pixel map.
void drawCrackIcon(QPainter& p, bool hi)
{
    drawCrackTile(p, 0, 15,
                  {pixelPath({{4, 0}, {4, 2}, {5, 3}, {5, 4}, {7, 6}, {7, 8}, {8, 9}, {8, 10}, {9, 11}, {10, 11},
                              {11, 12}, {11, 13}, {12, 14}, {12, 15}}),
                   pixelPath({{7, 6}, {8, 6}, {10, 4}, {11, 3}, {15, 3}}),
                   pixelPath({{11, 3}, {11, 0}}),
                   pixelPath({{5, 4}, {7, 4}, {8, 3}}),
                   pixelPath({{7, 8}, {5, 10}, {4, 11}, {0, 11}}),
                   pixelPath({{3, 11}, {3, 15}}),
                   pixelPath({{11, 12}, {13, 10}, {15, 10}})},
                  hi);
}

void drawFoxIcon(QPainter& p, bool hi) { drawFoxHead(p, 0.5, hi); }

void drawCreaseIcon(QPainter& p, bool hi)
{
    // A photograph with its top-right corner folded over towards the viewer.
    const QPainterPath sheet =
        polygonPath({{0.5, 1.5}, {9.5, 1.5}, {15.5, 7.5}, {15.5, 14.5}, {0.5, 14.5}});
    outlined(p, sheet, pal::paper);
    p.save();
    p.setClipPath(sheet);
    drawSepiaScene(p, QRectF(2, 3, 12, 10), hi);
    p.restore();
    // Shadow the flap casts on the picture.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawPolygon(QPolygonF({{9.5, 2}, {15.0, 7.5}, {10.5, 8.5}}));
    QLinearGradient g(9.5, 7.5, 12.5, 4.5);
    g.setColorAt(0, pal::paperShade);
    g.setColorAt(1, pal::paperShade.darker(112));
    outlined(p, polygonPath({{9.5, 1.5}, {15.5, 7.5}, {9.5, 7.5}}), g);
}

// ---------------------------------------------------------------------------
// The application icon for the desktop's icon theme, from 24 pixels up: the
// design of drawAppIcon (a framed sepia photograph, its left half as it came
// in, its right half restored, and a sparkle) laid out on the same 16-unit
// grid but drawn in real pixels. Edges are snapped to pixel boundaries and
// line widths follow the size rather than growing with the grid, so each
// size is a drawing of its own, not the 32-pixel picture scaled up. The
// larger sizes show the detail the small ones have no room for.
QImage renderAppIconAt(int S)
{
    QImage img(S, S, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    const bool large = S >= 48;  // shadow, shading, rounded corners
    const bool huge = S >= 96;   // a crack, more foxing, the divider's handle
    const qreal m = large ? std::round(S / 32.0) : 0.0; // room for the shadow
    const qreal u = (S - 2 * m) / 16.0;                 // one unit of the design
    auto at = [&](qreal units) { return std::round(m + units * u); };
    auto pt = [&](qreal units) { return m + units * u; };
    const qreal ow = std::max<qreal>(1.0, std::round(S / 21.0)); // ink outline

    // The print: ink outline, then the white border.
    const QRectF frame(QPointF(at(0), at(3)), QPointF(at(14), at(16)));
    const qreal radius = large ? std::max<qreal>(1.0, S / 64.0) : 0.0;
    p.setPen(Qt::NoPen);
    if (large) {
        // Soft shadow below the print: stacked rounded rectangles, each a
        // little wider and fainter.
        const int layers = std::max(2, int(m));
        for (int i = 1; i <= layers; ++i) {
            const qreal s = i * (m * 0.6) / layers;
            p.setBrush(QColor(0, 0, 0, std::max(1, 70 / layers)));
            p.drawRoundedRect(frame.translated(0, m * 0.5).adjusted(-s, -s, s, s), radius + s, radius + s);
        }
    }
    p.setBrush(pal::ink);
    p.drawRoundedRect(frame, radius, radius);
    const QRectF paperRect = frame.adjusted(ow, ow, -ow, -ow);
    QLinearGradient paperG(paperRect.topLeft(), paperRect.bottomLeft());
    paperG.setColorAt(0, pal::paper);
    paperG.setColorAt(1, large ? pal::paper.darker(104) : pal::paper);
    p.setBrush(paperG);
    const qreal innerRadius = std::max<qreal>(0.0, radius - ow);
    p.drawRoundedRect(paperRect, innerRadius, innerRadius);

    // The photograph.
    const QRectF photo(QPointF(at(2), at(5)), QPointF(at(12), at(14)));
    drawSepiaScene(p, photo, true);

    // Its left half as it came in: yellowed, foxed and, when there is room,
    // cracked.
    p.save();
    p.setClipRect(photo);
    const qreal mid = std::round(photo.center().x());
    const QRectF before(photo.left(), photo.top(), mid - photo.left(), photo.height());
    p.fillRect(before, QColor(0xb0, 0x80, 0x30, 80));
    struct Spot {
        qreal x, y, r; // x, y as fractions of the "before" half, r in units
    };
    std::vector<Spot> spots = {{0.35, 0.25, 0.7}, {0.70, 0.55, 0.5}};
    if (huge) {
        const Spot more[] = {{0.18, 0.62, 0.35}, {0.56, 0.13, 0.28}, {0.47, 0.84, 0.40},
                             {0.84, 0.33, 0.22}, {0.25, 0.42, 0.20}, {0.78, 0.74, 0.26}};
        spots.insert(spots.end(), std::begin(more), std::end(more));
    }
    p.setPen(Qt::NoPen);
    for (const Spot& s : spots) {
        const QPointF c(before.left() + before.width() * s.x, before.top() + before.height() * s.y);
        const qreal r = std::max<qreal>(0.5, s.r * u);
        if (large) {
            QRadialGradient g(c, r * 1.4);
            g.setColorAt(0, QColor(0x8a, 0x4a, 0x1c, 200));
            g.setColorAt(0.6, QColor(0x8a, 0x4a, 0x1c, 150));
            g.setColorAt(1, QColor(0x9a, 0x5a, 0x26, 0));
            p.setBrush(g);
            p.drawEllipse(c, r * 1.4, r * 1.4);
        } else {
            p.setBrush(QColor(0x8a, 0x4a, 0x1c, 170));
            p.drawEllipse(c, r, r);
        }
    }
    if (huge) {
        auto crackAt = [&](std::initializer_list<QPointF> rel) {
            QPolygonF pl;
            for (const QPointF& q : rel)
                pl << QPointF(before.left() + before.width() * q.x(), before.top() + before.height() * q.y());
            return pl;
        };
        const std::vector<QPolygonF> cracks = {
            crackAt({{0.60, -0.02}, {0.55, 0.12}, {0.63, 0.22}, {0.50, 0.37}, {0.56, 0.48}, {0.38, 0.63},
                     {0.42, 0.76}, {0.28, 0.92}, {0.30, 1.02}}),
            crackAt({{0.50, 0.37}, {0.34, 0.40}, {0.22, 0.33}, {0.08, 0.36}}),
            crackAt({{0.38, 0.63}, {0.55, 0.70}, {0.66, 0.66}}),
        };
        const qreal cw = std::max<qreal>(1.0, u * 0.12);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 248, 228, 170), cw, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        for (const QPolygonF& c : cracks)
            p.drawPolyline(c.translated(cw * 0.7, cw * 0.8));
        p.setPen(QPen(QColor(0x26, 0x18, 0x0d, 220), cw, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        for (const QPolygonF& c : cracks)
            p.drawPolyline(c);
    }
    // The divider between before and after.
    const qreal dw = std::max<qreal>(1.0, std::round(S / 64.0));
    const qreal dx = mid - std::floor(dw / 2);
    p.fillRect(QRectF(dx, photo.top(), dw, photo.height()), QColor(255, 255, 255, 230));
    if (huge) {
        // With a handle, as on the splash picture.
        const QPointF hc(dx + dw / 2, photo.center().y());
        const qreal hr = std::max<qreal>(4.0, u * 1.1);
        const qreal k = hr / 13.0;
        p.setPen(QPen(QColor(0x3b, 0x31, 0x29, 130), std::max<qreal>(1.0, S / 128.0)));
        p.setBrush(QColor(255, 255, 255, 240));
        p.drawEllipse(hc, hr, hr);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x5a, 0x40, 0x28));
        p.drawPolygon(QPolygonF({hc + QPointF(-2.5, -5) * k, hc + QPointF(-8, 0) * k, hc + QPointF(-2.5, 5) * k}));
        p.drawPolygon(QPolygonF({hc + QPointF(2.5, -5) * k, hc + QPointF(8, 0) * k, hc + QPointF(2.5, 5) * k}));
    }
    p.restore();
    // A fine dark edge around the picture.
    const qreal wi = std::max<qreal>(1.0, std::round(S / 100.0));
    p.setPen(QPen(pal::hillDark, wi, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(photo.adjusted(wi / 2, wi / 2, -wi / 2, -wi / 2));

    // The sparkles: the picture being brought back to life.
    auto sparkle = [&](QPointF c, qreal r, bool outline) {
        const qreal k = r * 0.28;
        const QPainterPath s = polygonPath({{c.x(), c.y() - r}, {c.x() + k, c.y() - k}, {c.x() + r, c.y()},
                                            {c.x() + k, c.y() + k}, {c.x(), c.y() + r}, {c.x() - k, c.y() + k},
                                            {c.x() - r, c.y()}, {c.x() - k, c.y() - k}});
        if (large) {
            QRadialGradient g(c, r);
            g.setColorAt(0, QColor(0xff, 0xf8, 0xe0));
            g.setColorAt(0.3, pal::gold.lighter(112));
            g.setColorAt(1, pal::gold.darker(106));
            p.setBrush(g);
        } else {
            p.setBrush(pal::gold);
        }
        if (outline)
            p.setPen(QPen(pal::goldDark, std::max<qreal>(1.0, ow * 0.6), Qt::SolidLine, Qt::RoundCap,
                          Qt::RoundJoin));
        else
            p.setPen(Qt::NoPen);
        p.drawPath(s);
    };
    const qreal penHalf = std::max<qreal>(1.0, ow * 0.6) / 2;
    const qreal bigR = 3.5 * u;
    sparkle(QPointF(pt(12.5), std::max(pt(3.5), bigR + penHalf)), bigR - penHalf, true);
    sparkle(QPointF(std::min(pt(15.0), S - 1.2 * u), pt(7.3)), 1.2 * u, false);
    p.end();
    return img.convertToFormat(QImage::Format_ARGB32);
}

// ---------------------------------------------------------------------------
// Hand-placed 1x pixel maps for toolbar images whose antialiased rendering
// is too soft at 16 x 15.

const std::map<char, QColor>& pixelPalette()
{
    static const std::map<char, QColor> map = {
        {'k', pal::ink},       {'w', Qt::white},      {'p', pal::paper},     {'P', pal::paperShade},
        {'l', pal::line},      {'m', pal::metal},     {'M', pal::metalDark}, {'b', pal::blue},
        {'B', pal::blueDark},  {'c', pal::blueLight}, {'o', pal::fox},       {'O', pal::foxDark},
        {'e', pal::cream},     {'r', pal::red},       {'s', pal::plaster},   {'S', pal::plasterDark},
        {'y', pal::folder},    {'Y', pal::folderBack},
    };
    return map;
}

const std::map<QString, std::vector<const char*>>& pixelMaps()
{
    static const std::map<QString, std::vector<const char*>> maps = {
        {QStringLiteral("open"),
         {"................",
          "kkkkk...........",
          "kYYYYk..........",
          "kYYYYYkkkkkkkk..",
          "kYYYYYYYYYYYYk..",
          "kYYkkkkkkkkkYk..",
          "kYYkpppppppkYk..",
          "kYYkkkkkkkkkkkkk",
          "kYYkyyyyyyyyyyyk",
          "kYkyyyyyyyyyyyk.",
          "kYkyyyyyyyyyyyk.",
          "kkyyyyyyyyyyyk..",
          "kkyyyyyyyyyyyk..",
          "kkkkkkkkkkkkk...",
          "................"}},
        {QStringLiteral("cut"),
         {"...k.......k....",
          "...km.....mk....",
          "....k.....k.....",
          "....km...mk.....",
          ".....k...k......",
          ".....km.mk......",
          "......kMk.......",
          ".....rk.kr......",
          "..rrrr...rrrr...",
          ".rr..rr.rr..rr..",
          ".r....r.r....r..",
          ".r....r.r....r..",
          ".rr..rr.rr..rr..",
          "..rrrr...rrrr...",
          "................"}},
        {QStringLiteral("blotch"),
         {".......BB.......",
          "......BbbB......",
          "......BbbB......",
          ".....BcbbbB.....",
          ".....BcbbbB.....",
          "....BccbbbbB....",
          "...BcwcbbbbbB...",
          "...BcwcbbbbbB...",
          "..BbcwcbbbbbbB..",
          "..BbcwcbbbbbbB..",
          "..BbbccbbbbbbB..",
          "..BbbbbbbbbbBB..",
          "...BbbbbbbbBB...",
          "....BBbbbbBB....",
          "......BBBB......"}},
        {QStringLiteral("crack"),
         {"................",
          "kkkkkkkkkkkkkkkk",
          "kssssksssssssssk",
          "kssssskssssssssk",
          "ksssssksskkssksk",
          "ksssssskksskksSk",
          "kssssssksssssSSk",
          "ksssssksssssSSSk",
          "ksssskkssssSSSSk",
          "ksskkssksskkSSSk",
          "kskssssskkSSkSSk",
          "kssssssskSSSSSSk",
          "kssssssSSkSSSSSk",
          "kkkkkkkkkkkkkkkk",
          "................"}},
        {QStringLiteral("foxing"),
         {".k............k.",
          ".kk..........kk.",
          ".kOk........kOk.",
          ".kOOkkkkkkkkOOk.",
          "kOOOooooooooOOOk",
          "kOooooooooooooOk",
          "kooookooookooook",
          "keeookooookooeek",
          ".keeeooooooeeek.",
          ".keeeeooooeeeek.",
          "..keeeeooeeeek..",
          "...keeeeeeeek...",
          "....keekkeek....",
          ".....kkkkkk.....",
          "................"}},
        {QStringLiteral("about"),
         {".....BBBBBB.....",
          "....BbbbbbbB....",
          "...BbbwwwwbbB...",
          "..BbbwwbbwwbbB..",
          ".BbbbbbbbwwbbbB.",
          ".BbbbbbbwwbbbbB.",
          ".BbbbbbwwbbbbbB.",
          ".BbbbbbwwbbbbbB.",
          ".BbbbbbbbbbbbbB.",
          ".BbbbbbwwbbbbbB.",
          "..BbbbbwwbbbbB..",
          "...BbbbbbbbbB...",
          "....BbbbbbbB....",
          ".....BBBBBB.....",
          "................"}},
        // 16 x 16 window icons.
        {QStringLiteral("icon:blotch"),
         {"............B...",
          "...........BbB..",
          ".....B....BcbbB.",
          "....BbB...BcbbB.",
          "....BbB...BbbbB.",
          "...BbbbB...BBB..",
          "...BcbbB........",
          "..BcwbbbB.......",
          ".BbcwbbbbB......",
          ".BbcwbbbbB......",
          ".BbcbbbbbB......",
          ".BbbbbbbbB..B...",
          ".BbbbbbbbB.BbB..",
          "..BbbbbbB..BbB..",
          "...BBBBB...BBB..",
          "................"}},
        {QStringLiteral("icon:crack"),
         {"kkkkkkkkkkkkkkkk",
          "kssskssssssksssk",
          "kssskssssssksssk",
          "ksssskssksskkkkk",
          "ksssskkksskssssk",
          "kssssskssksssssk",
          "ksssssskksssssSk",
          "kssssssksssssSSk",
          "ksssssskssssSSSk",
          "kssssskskssSSSSk",
          "ksssskssksSSSkkk",
          "kkkkksssskkSkSSk",
          "ksskssssSSSkSSSk",
          "kssksssSSSSkSSSk",
          "ksskssSSSSSSkSSk",
          "kkkkkkkkkkkkkkkk"}},
        {QStringLiteral("icon:fox"),
         {"................",
          ".k............k.",
          ".kk..........kk.",
          ".kOk........kOk.",
          ".kOOkkkkkkkkOOk.",
          "kOOOooooooooOOOk",
          "kOooooooooooooOk",
          "kooookooookooook",
          "keeookooookooeek",
          ".keeeooooooeeek.",
          ".keeeeooooeeeek.",
          "..keeeeooeeeek..",
          "...keeeeeeeek...",
          "....keekkeek....",
          ".....kkkkkk.....",
          "................"}},
    };
    return maps;
}

QImage fromPixelMap(const std::vector<const char*>& rows, int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    if (int(rows.size()) != h)
        qFatal("pixel map has %d rows, expected %d", int(rows.size()), h);
    for (int y = 0; y < h; ++y) {
        if (int(qstrlen(rows[y])) != w)
            qFatal("pixel map row %d has %d columns, expected %d", y, int(qstrlen(rows[y])), w);
        for (int x = 0; x < w; ++x) {
            const char ch = rows[y][x];
            if (ch == '.')
                continue;
            const auto it = pixelPalette().find(ch);
            if (it == pixelPalette().end())
                qFatal("unknown pixel colour '%c'", ch);
            img.setPixelColor(x, y, it->second);
        }
    }
    return img;
}

// ---------------------------------------------------------------------------
// Rendering and output.

using DrawFn = std::function<void(QPainter&, bool)>;

QImage render(const DrawFn& fn, int w, int h, qreal scale)
{
    QImage img(int(std::lround(w * scale)), int(std::lround(h * scale)), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);
    fn(p, scale > 1.01);
    p.end();
    return img.convertToFormat(QImage::Format_ARGB32);
}

QString g_resDir;
int g_failures = 0;

void save(const QImage& img, const QString& rel)
{
    const QString path = g_resDir + QLatin1Char('/') + rel;
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "make_art: cannot write %s\n", qPrintable(path));
        ++g_failures;
        return;
    }
    std::printf("%4d x %-4d %s\n", img.width(), img.height(), qPrintable(rel));
}

// ---------------------------------------------------------------------------
// Splash picture.

QColor mix(const QColor& a, const QColor& b, qreal t)
{
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t, a.alphaF() + (b.alphaF() - a.alphaF()) * t);
}

// Maps a grey level (0..1) to the sepia ramp of the photographs.
QRgb sepiaTone(double v)
{
    v = std::clamp(v, 0.0, 1.0);
    static const QColor stops[] = {QColor(0x24, 0x17, 0x0e), QColor(0x6e, 0x4b, 0x2c), QColor(0xb0, 0x86, 0x57),
                                   QColor(0xe2, 0xc8, 0x98), QColor(0xfb, 0xf0, 0xd8)};
    const double pos = v * 4.0;
    const int i = std::min(3, int(pos));
    return mix(stops[i], stops[i + 1], pos - i).rgb();
}

// The clean photograph: a grey-level landscape, toned to sepia, with grain.
QImage makeScene(int w, int h)
{
    QImage grey(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&grey);
    p.setRenderHint(QPainter::Antialiasing);
    auto g = [](double v) { const int c = int(std::lround(v * 255)); return QColor(c, c, c); };

    QLinearGradient skyG(0, 0, 0, h * 0.60);
    skyG.setColorAt(0, g(0.60));
    skyG.setColorAt(1, g(0.90));
    p.fillRect(0, 0, w, h, skyG);
    // Sun haze.
    const QPointF sunC(w * 0.62, h * 0.30);
    QRadialGradient haze(sunC, h * 0.50);
    haze.setColorAt(0, QColor(255, 255, 255, 190));
    haze.setColorAt(0.10, QColor(255, 255, 255, 130));
    haze.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(0, 0, w, h, haze);
    p.setPen(Qt::NoPen);
    p.setBrush(g(1.0));
    p.drawEllipse(sunC, h * 0.05, h * 0.05);
    // Soft clouds.
    Rng rng(7);
    for (int i = 0; i < 30; ++i) {
        const double cx = rng.range(0.0, w * 1.0), cy = rng.range(h * 0.08, h * 0.24);
        const double rx = rng.range(18, 46), ry = rx * 0.30;
        QRadialGradient c(QPointF(cx, cy), rx);
        c.setColorAt(0, QColor(255, 255, 255, 55));
        c.setColorAt(1, QColor(255, 255, 255, 0));
        p.setBrush(c);
        p.drawEllipse(QPointF(cx, cy), rx, ry);
    }

    // Layers of hills, far to near.
    struct Ridge {
        double base, amp, phase, freq;
        double y(double t) const
        {
            return base + amp * (std::sin(t * freq + phase) * 0.6 + std::sin(t * freq * 2.3 + phase * 1.7) * 0.25 +
                                 std::sin(t * freq * 5.1 + phase * 0.3) * 0.08);
        }
    };
    auto drawRidge = [&](const Ridge& r, double shade, double bottomShade) {
        QPainterPath path;
        path.moveTo(0, h);
        for (int x = 0; x <= w; x += 2)
            path.lineTo(x, h * r.y(double(x) / w));
        path.lineTo(w, h);
        path.closeSubpath();
        QLinearGradient lg(0, h * (r.base - r.amp), 0, h);
        lg.setColorAt(0, g(shade));
        lg.setColorAt(1, g(bottomShade));
        p.setBrush(lg);
        p.drawPath(path);
    };
    drawRidge({0.50, 0.05, 1.2, 6.0}, 0.72, 0.64);
    drawRidge({0.57, 0.06, 3.9, 4.2}, 0.54, 0.42);

    // A lake catching the light between the hills.
    QPainterPath lake;
    lake.moveTo(w * 0.22, h * 0.675);
    lake.cubicTo(w * 0.45, h * 0.63, w * 0.80, h * 0.635, w * 1.02, h * 0.655);
    lake.lineTo(w * 1.02, h * 0.74);
    lake.cubicTo(w * 0.75, h * 0.75, w * 0.45, h * 0.73, w * 0.22, h * 0.675);
    QLinearGradient lakeG(0, h * 0.63, 0, h * 0.75);
    lakeG.setColorAt(0, g(0.88));
    lakeG.setColorAt(1, g(0.66));
    p.setBrush(lakeG);
    p.drawPath(lake);
    // Glints on the water below the sun: short broken strokes.
    for (int i = 0; i < 10; ++i) {
        const double y = h * (0.655 + i * 0.0075);
        const double half = w * (0.065 - i * 0.005);
        for (double x = sunC.x() - half; x < sunC.x() + half;) {
            const double len = rng.range(3, 12);
            p.setBrush(QColor(255, 255, 255, int(rng.range(50, 130)) - i * 6));
            p.drawRect(QRectF(x, y, len, 1.0));
            x += len + rng.range(2, 7);
        }
    }
    const Ridge nearRidge{0.76, 0.06, 0.4, 3.1};
    drawRidge(nearRidge, 0.34, 0.14);

    // A lone tree on the near hill, lit from the sun's side.
    const double tx = w * 0.80;
    const QPointF base(tx, h * nearRidge.y(0.80) + 4);
    const double treeH = h * 0.40;
    p.setBrush(g(0.10));
    QPainterPath trunk;
    trunk.moveTo(base.x() - 5, base.y() + 2);
    trunk.cubicTo(base.x() - 2, base.y() - treeH * 0.2, base.x() - 3, base.y() - treeH * 0.45,
                  base.x() - 1, base.y() - treeH * 0.62);
    trunk.lineTo(base.x() + 1.5, base.y() - treeH * 0.62);
    trunk.cubicTo(base.x() + 1, base.y() - treeH * 0.45, base.x() + 3, base.y() - treeH * 0.2,
                  base.x() + 6, base.y() + 2);
    p.drawPath(trunk);
    p.setPen(QPen(g(0.10), 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(base.x() - 1, base.y() - treeH * 0.40), QPointF(base.x() - 22, base.y() - treeH * 0.66));
    p.drawLine(QPointF(base.x() + 1, base.y() - treeH * 0.35), QPointF(base.x() + 20, base.y() - treeH * 0.60));
    p.setPen(Qt::NoPen);
    // Crown: clumps of foliage with ragged edges; the side facing the sun
    // is picked out in slightly lighter leaves.
    const QPointF lobes[] = {{-26, -0.64}, {24, -0.60}, {0, -0.78}, {-14, -0.90}, {14, -0.92},
                             {0, -1.02}, {-34, -0.56}, {34, -0.52}};
    Rng leaves(11);
    for (const QPointF& lobe : lobes) {
        const QPointF c(base.x() + lobe.x(), base.y() + treeH * lobe.y());
        for (int i = 0; i < 60; ++i) {
            const double a = leaves.range(0, 2 * M_PI);
            const double d = std::sqrt(leaves.uniform());
            const QPointF at = c + QPointF(std::cos(a) * d * 16, std::sin(a) * d * 12);
            const double r = leaves.range(2.0, 4.5);
            p.setBrush(g(leaves.range(0.07, 0.11)));
            p.drawEllipse(at, r, r * 0.85);
        }
    }
    for (const QPointF& lobe : lobes) {
        const QPointF c(base.x() + lobe.x(), base.y() + treeH * lobe.y());
        for (int i = 0; i < 40; ++i) {
            const double a = leaves.range(0, 2 * M_PI);
            const double d = std::sqrt(leaves.uniform()) * 0.8;
            const QPointF at = c + QPointF(std::cos(a) * d * 16, std::sin(a) * d * 12);
            const double lit = -std::cos(a) * 0.6 - std::sin(a) * 0.8; // towards the upper left
            if (lit < 0.2 || d < 0.3)
                continue;
            const double r = leaves.range(1.5, 3.0);
            p.setBrush(g(0.13 + 0.07 * lit * d + leaves.range(0, 0.03)));
            p.drawEllipse(at, r, r * 0.85);
        }
    }
    // Birds.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(g(0.30), 1.3, Qt::SolidLine, Qt::RoundCap));
    const QPointF birds[] = {{0.40, 0.17}, {0.44, 0.14}, {0.465, 0.195}};
    for (const QPointF& b : birds) {
        const QPointF c(w * b.x(), h * b.y());
        QPainterPath v;
        v.moveTo(c + QPointF(-5, -1.5));
        v.quadTo(c + QPointF(-2.5, -3), c);
        v.quadTo(c + QPointF(2.5, -3), c + QPointF(5, -1.5));
        p.drawPath(v);
    }
    // Grass in the foreground.
    Rng grass(23);
    for (int i = 0; i < 300; ++i) {
        p.setPen(QPen(g(i % 3 == 0 ? 0.32 : 0.07), 1.0));
        const double x = grass.range(0, w);
        const double y = h * grass.range(0.86, 1.02);
        p.drawLine(QPointF(x, y), QPointF(x + grass.range(-3, 3), y - grass.range(4, 11)));
    }
    p.end();

    // Tone to sepia and add a fine grain.
    QImage out(w, h, QImage::Format_ARGB32);
    Rng grain(31);
    for (int y = 0; y < h; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(grey.constScanLine(y));
        QRgb* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double v = qGray(src[x]) / 255.0 + (grain.uniform() - 0.5) * 0.05;
            dst[x] = sepiaTone(v);
        }
    }
    return out;
}

// The same photograph as it came in: faded, yellowed, spotted, stained,
// cracked and creased.
QImage ageScene(const QImage& clean)
{
    const int w = clean.width(), h = clean.height();
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(clean.constScanLine(y));
        QRgb* dst = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            // Faded: lower contrast, lifted blacks, a yellow cast.
            const double r = qRed(src[x]), g = qGreen(src[x]), b = qBlue(src[x]);
            auto fade = [](double c, double lift) { return std::clamp(52.0 + c * 0.74 + lift, 0.0, 255.0); };
            dst[x] = qRgb(int(fade(r, 8)), int(fade(g, 0)), int(fade(b, -28)));
        }
    }
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    // Foxing: clusters of rust-brown spots.
    Rng rng(101);
    const QPointF clusters[] = {{0.12, 0.22}, {0.33, 0.48}, {0.08, 0.78}, {0.40, 0.15}, {0.26, 0.88}};
    for (const QPointF& c : clusters) {
        for (int i = 0; i < 16; ++i) {
            const double a = rng.range(0, 2 * M_PI), d = rng.range(0, 1) * rng.range(0, 1);
            const QPointF at(w * c.x() + std::cos(a) * d * 38, h * c.y() + std::sin(a) * d * 30);
            const double r = rng.range(0.8, 3.4);
            QRadialGradient s(at, r * 1.8);
            s.setColorAt(0, QColor(0x8a, 0x4a, 0x1c, 170));
            s.setColorAt(0.5, QColor(0x9a, 0x5a, 0x26, 110));
            s.setColorAt(1, QColor(0x9a, 0x5a, 0x26, 0));
            p.setBrush(s);
            p.drawEllipse(at, r * 1.8, r * 1.6);
        }
    }

    // A water blotch: a faint stain bounded by a darker, soft tide line.
    {
        QPainterPath stain;
        Rng s(202);
        const QPointF c(w * 0.29, h * 0.30);
        for (int i = 0; i <= 64; ++i) {
            const double a = 2 * M_PI * i / 64;
            const double rr = 27 + 5 * std::sin(a * 2 + 0.7) + 2.5 * std::sin(a * 5 + 1.3) + s.range(-0.6, 0.6);
            const QPointF q(c.x() + std::cos(a) * rr * 1.3, c.y() + std::sin(a) * rr);
            if (i == 0)
                stain.moveTo(q);
            else
                stain.lineTo(q);
        }
        stain.closeSubpath();
        p.setBrush(QColor(0xa8, 0x7a, 0x40, 38));
        p.drawPath(stain);
        p.setBrush(Qt::NoBrush);
        for (int k = 0; k < 4; ++k) {
            p.setPen(QPen(QColor(0x80, 0x56, 0x28, 26 + 22 * k), 7.0 - 1.6 * k, Qt::SolidLine, Qt::RoundCap,
                          Qt::RoundJoin));
            p.drawPath(stain.translated(0.6 * k, 0.6 * k));
        }
        p.setPen(Qt::NoPen);
    }

    // Cracks in the emulsion: straight runs with sudden turns, forking at
    // wide angles, dark with a light lip where the edge lifts.
    Rng cr(1);
    std::function<void(QPointF, double, double, int)> crack = [&](QPointF at, double dir, double len, int depth) {
        QPolygonF pl;
        pl << at;
        double travelled = 0;
        while (travelled < len) {
            dir += cr.uniform() < 0.25 ? cr.range(-0.9, 0.9) : cr.range(-0.3, 0.3);
            const double step = cr.range(6, 14);
            at += QPointF(std::cos(dir) * step, std::sin(dir) * step);
            pl << at;
            travelled += step;
            if (depth < 2 && cr.uniform() < 0.22)
                crack(at, dir + (cr.uniform() < 0.5 ? -1 : 1) * cr.range(0.8, 1.5), len * cr.range(0.2, 0.4),
                      depth + 1);
        }
        const double wdt = depth == 0 ? 1.4 : (depth == 1 ? 1.0 : 0.8);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 248, 228, 170), wdt, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
        p.drawPolyline(pl.translated(0.9, 1.0));
        p.setPen(QPen(QColor(0x26, 0x18, 0x0d, 220), wdt, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
        p.drawPolyline(pl);
    };
    // Each crack has its own seed, chosen for a pleasing shape.
    cr = Rng(52);
    crack(QPointF(w * 0.03, h * 0.36), 0.25, w * 0.48, 0);
    cr = Rng(100);
    crack(QPointF(w * 0.16, -2), 1.35, h * 0.45, 0);
    cr = Rng(305);
    crack(QPointF(-2, h * 0.82), -0.35, w * 0.22, 1);

    // A crease across the lower corner: a bright ridge beside a shadow.
    p.setPen(QPen(QColor(0x3a, 0x26, 0x14, 90), 2.0));
    p.drawLine(QPointF(w * 0.0, h * 0.64), QPointF(w * 0.50, h * 1.02));
    p.setPen(QPen(QColor(255, 250, 235, 150), 1.6));
    p.drawLine(QPointF(w * 0.0 + 2, h * 0.64 - 2), QPointF(w * 0.50 + 2, h * 1.02 - 2));
    p.setPen(QPen(QColor(255, 250, 235, 40), 7.0));
    p.drawLine(QPointF(w * 0.0 + 4, h * 0.64 - 4), QPointF(w * 0.50 + 4, h * 1.02 - 4));
    p.end();
    return img;
}

// Soft shadow of an image's opaque parts.
QImage softShadow(const QImage& shape, int blurDiv, int alpha)
{
    QImage mask(shape.size(), QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    QPainter p(&mask);
    p.drawImage(0, 0, shape);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(mask.rect(), QColor(0, 0, 0, alpha));
    p.end();
    QImage small = mask.scaled(mask.width() / blurDiv, mask.height() / blurDiv, Qt::IgnoreAspectRatio,
                               Qt::SmoothTransformation);
    QImage small2 = small.scaled(small.width() / 2, small.height() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return small2.scaled(mask.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QFont font(const QString& family, qreal px, bool bold = false, bool italic = false)
{
    QFont f(family);
    f.setPixelSize(int(std::lround(px)));
    f.setBold(bold);
    f.setItalic(italic);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QImage makeSplash()
{
    const int W = 590, H = 602;
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);

    // Backdrop: dark walnut with a warm glow behind the print.
    QRadialGradient bg(QPointF(W * 0.5, H * 0.36), W * 0.85);
    bg.setColorAt(0, QColor(0x4d, 0x37, 0x27));
    bg.setColorAt(0.55, QColor(0x2f, 0x21, 0x17));
    bg.setColorAt(1, QColor(0x17, 0x10, 0x0b));
    p.fillRect(0, 0, W, H, bg);
    {
        // Fine texture so the backdrop does not band.
        Rng n(5);
        for (int y = 0; y < H; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < W; ++x) {
                const int d = int(n.range(-3, 3));
                const QRgb c = row[x];
                row[x] = qRgb(std::clamp(qRed(c) + d, 0, 255), std::clamp(qGreen(c) + d, 0, 255),
                              std::clamp(qBlue(c) + d, 0, 255));
            }
        }
    }
    const QColor goldText(0xd8, 0xb4, 0x72);
    p.setPen(QPen(QColor(0xc9, 0xa2, 0x5e, 90), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(12.5, 12.5, W - 25, H - 25));

    // The print: a photograph with a white border, before and after.
    const int border = 14;
    const int photoW = 440, photoH = 300;
    const int printW = photoW + 2 * border, printH = photoH + 2 * border;
    const QImage clean = makeScene(photoW, photoH);
    const QImage aged = ageScene(clean);
    const int split = int(photoW * 0.47);

    QImage print(printW, printH, QImage::Format_ARGB32_Premultiplied);
    print.fill(Qt::transparent);
    {
        QPainter pp(&print);
        pp.setRenderHint(QPainter::Antialiasing);
        // The border itself: clean white on the right, yellowed on the left.
        QLinearGradient bord(0, 0, printW, 0);
        bord.setColorAt(0, QColor(0xe9, 0xda, 0xb8));
        bord.setColorAt(double(border + split) / printW - 0.001, QColor(0xef, 0xe3, 0xc6));
        bord.setColorAt(double(border + split) / printW + 0.001, QColor(0xfb, 0xf7, 0xee));
        bord.setColorAt(1, QColor(0xfd, 0xfa, 0xf3));
        pp.fillRect(print.rect(), bord);
        pp.drawImage(QRect(border, border, split, photoH), aged, QRect(0, 0, split, photoH));
        pp.drawImage(QRect(border + split, border, photoW - split, photoH), clean,
                     QRect(split, 0, photoW - split, photoH));
        // Torn-off top-left corner.
        QPainterPath tear;
        Rng t(404);
        tear.moveTo(-10, 80);
        const int steps = 46;
        for (int i = 0; i <= steps; ++i) {
            const double s = double(i) / steps;
            const double x = s * 96 + t.range(-1.2, 1.2);
            const double y = 80 * (1 - s) + std::sin(s * 7.0) * 5 + std::sin(s * 23.0) * 1.5 + t.range(-1.2, 1.2);
            tear.lineTo(x, y);
        }
        const QPainterPath tearEdge = tear;
        tear.lineTo(tear.currentPosition().x(), -10);
        tear.lineTo(-10, -10);
        tear.closeSubpath();
        // Paper fibres along the tear.
        pp.setPen(QPen(QColor(0xf6, 0xec, 0xd6), 5.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        pp.setBrush(Qt::NoBrush);
        pp.drawPath(tearEdge);
        pp.setCompositionMode(QPainter::CompositionMode_Clear);
        pp.setPen(Qt::NoPen);
        pp.setBrush(Qt::black);
        pp.drawPath(tear.translated(-1.5, -1.5));
        pp.setCompositionMode(QPainter::CompositionMode_SourceOver);
        // Divider between "before" and "after", with a handle.
        const double dx = border + split + 0.5;
        pp.setPen(QPen(QColor(255, 255, 255, 230), 2.0));
        pp.drawLine(QPointF(dx, border), QPointF(dx, border + photoH));
        const QPointF hc(dx, border + photoH * 0.5);
        pp.setPen(QPen(QColor(0x3b, 0x31, 0x29, 120), 1.0));
        pp.setBrush(QColor(255, 255, 255, 235));
        pp.drawEllipse(hc, 13, 13);
        pp.setPen(Qt::NoPen);
        pp.setBrush(QColor(0x5a, 0x40, 0x28));
        pp.drawPolygon(QPolygonF({hc + QPointF(-2.5, -5), hc + QPointF(-8, 0), hc + QPointF(-2.5, 5)}));
        pp.drawPolygon(QPolygonF({hc + QPointF(2.5, -5), hc + QPointF(8, 0), hc + QPointF(2.5, 5)}));
        // Gentle sparkles on the restored side.
        pp.setPen(Qt::NoPen);
        auto sparkle = [&](QPointF c, double r, int a) {
            const double k = r * 0.22;
            pp.setBrush(QColor(255, 252, 240, a));
            pp.drawPolygon(QPolygonF({c + QPointF(0, -r), c + QPointF(k, -k), c + QPointF(r, 0), c + QPointF(k, k),
                                      c + QPointF(0, r), c + QPointF(-k, k), c + QPointF(-r, 0),
                                      c + QPointF(-k, -k)}));
        };
        sparkle(QPointF(dx + 26, border + 34), 9, 230);
        sparkle(QPointF(dx + 42, border + 56), 4.5, 200);
        // Small captions in the corners of the picture.
        pp.setFont(font("DejaVu Sans", 10.5, true));
        QFont cap = pp.font();
        cap.setLetterSpacing(QFont::AbsoluteSpacing, 1.6);
        pp.setFont(cap);
        pp.setPen(QColor(0x4a, 0x33, 0x1f, 200));
        pp.drawText(QRectF(border, border + photoH + 1, split - 8, border - 1), Qt::AlignRight | Qt::AlignVCenter,
                    QStringLiteral("BEFORE"));
        pp.drawText(QRectF(border + split + 8, border + photoH + 1, 200, border - 1),
                    Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("AFTER"));
    }
    const QPointF printPos((W - printW) / 2.0, 46);
    const QImage shadow = softShadow(print, 6, 200);
    p.drawImage(printPos + QPointF(3, 9), shadow);
    p.drawImage(printPos, print);

    // Title block.
    const double textTop = printPos.y() + printH + 34;
    QFont title = font("DejaVu Serif", 50);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    p.setFont(title);
    const QFontMetricsF tm(title);
    const QString name = QStringLiteral("VeltroInterface");
    const double tw = tm.horizontalAdvance(name);
    const double base = textTop + tm.ascent();
    // Two-tone name: the engraved look of old title cards.
    QLinearGradient tg(0, base - tm.ascent(), 0, base);
    tg.setColorAt(0, QColor(0xfb, 0xf0, 0xd6));
    tg.setColorAt(1, QColor(0xe4, 0xc9, 0x93));
    QPainterPath tp;
    tp.addText(QPointF((W - tw) / 2.0, base), title, name);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 110));
    p.drawPath(tp.translated(1.5, 2));
    p.setBrush(tg);
    p.drawPath(tp);

    const QFont sub = font("DejaVu Serif", 19, false, true);
    p.setFont(sub);
    p.setPen(QColor(0xef, 0xe2, 0xc6));
    const double subTop = base + tm.descent() + 10;
    p.drawText(QRectF(0, subTop, W, 28), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("Photograph and document restoration"));

    // Ornamental rule.
    const double ry = subTop + 46;
    QLinearGradient rg(W * 0.5 - 150, 0, W * 0.5 + 150, 0);
    rg.setColorAt(0, QColor(0xc9, 0xa2, 0x5e, 0));
    rg.setColorAt(0.5, QColor(0xc9, 0xa2, 0x5e, 220));
    rg.setColorAt(1, QColor(0xc9, 0xa2, 0x5e, 0));
    p.setPen(QPen(QBrush(rg), 1.0));
    p.drawLine(QPointF(W * 0.5 - 150, ry + 0.5), QPointF(W * 0.5 - 12, ry + 0.5));
    p.drawLine(QPointF(W * 0.5 + 12, ry + 0.5), QPointF(W * 0.5 + 150, ry + 0.5));
    p.setPen(Qt::NoPen);
    p.setBrush(goldText);
    const QPointF dc(W * 0.5, ry + 0.5);
    p.drawPolygon(QPolygonF({dc + QPointF(0, -4), dc + QPointF(4, 0), dc + QPointF(0, 4), dc + QPointF(-4, 0)}));

    QFont feat = font("DejaVu Sans", 13.5);
    feat.setLetterSpacing(QFont::AbsoluteSpacing, 2.2);
    feat.setCapitalization(QFont::AllUppercase);
    p.setFont(feat);
    p.setPen(goldText);
    p.drawText(QRectF(0, ry + 18, W, 24), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("Blotches \u00b7 Cracks \u00b7 Foxing \u00b7 Creases"));
    p.end();
    return img.convertToFormat(QImage::Format_RGB32);
}

// About-box logo, 40 x 36: the application icon's framed photograph with its
// sparkle, drawn at 2x on a 20 x 18 grid.
void drawLogo(QPainter& p, bool hi)
{
    outlinedRect(p, box(0, 3, 16, 17), pal::paper);
    drawSepiaScene(p, QRectF(2, 5, 13, 11), hi, true);
    p.setPen(QPen(pal::hillDark, 0.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(2.25, 5.25, 12.5, 10.5));
    drawSparkle(p, 16, 3.5, 3.5, true);
    drawSparkle(p, 18.8, 8.2, 1.3, false);
}

struct ToolbarImage {
    const char* name;
    void (*draw)(QPainter&, bool);
};

const ToolbarImage kToolbar[] = {
    {"open", drawOpen},       {"save", drawSave},     {"cut", drawCut},         {"copy", drawCopy},
    {"paste", drawPaste},     {"print", drawPrint},   {"blotch", drawBlotch},   {"crack", drawCrack},
    {"foxing", drawFoxing},   {"crease", drawCrease}, {"about", drawAbout},     {"compare", drawCompare},
};

struct WindowIcon {
    const char* name;
    void (*draw)(QPainter&, bool);
};

const WindowIcon kIcons[] = {
    {"app", drawAppIcon},       {"blotch", drawBlotchIcon}, {"crack", drawCrackIcon},
    {"fox", drawFoxIcon},       {"crease", drawCreaseIcon},
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_art <res-dir>\n");
        return 2;
    }
    g_resDir = QString::fromLocal8Bit(argv[1]);

    // Only the DejaVu faces shipped with the system are used.
    const QDir fonts(QStringLiteral("/usr/share/fonts/truetype/dejavu"));
    for (const QString& f : fonts.entryList({QStringLiteral("DejaVu*.ttf")}))
        QFontDatabase::addApplicationFont(fonts.filePath(f));
    if (!QFontDatabase::families().contains(QStringLiteral("DejaVu Serif")) ||
        !QFontDatabase::families().contains(QStringLiteral("DejaVu Sans"))) {
        std::fprintf(stderr, "make_art: the DejaVu fonts are missing\n");
        return 1;
    }

    // Toolbar: each image at 1x and 2x, and the 1x strip of all eleven.
    const int tw = 16, th = 15;
    const int count = int(sizeof(kToolbar) / sizeof(kToolbar[0]));
    QImage strip(tw * count, th, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    QImage strip2(tw * count * 2, th * 2, QImage::Format_ARGB32);
    strip2.fill(Qt::transparent);
    {
        QPainter sp(&strip);
        QPainter sp2(&strip2);
        sp.setCompositionMode(QPainter::CompositionMode_Source);
        sp2.setCompositionMode(QPainter::CompositionMode_Source);
        for (int i = 0; i < count; ++i) {
            const ToolbarImage& t = kToolbar[i];
            const auto pm = pixelMaps().find(QString::fromLatin1(t.name));
            const QImage one = pm != pixelMaps().end() ? fromPixelMap(pm->second, tw, th) : render(t.draw, tw, th, 1);
            const QImage two = render(t.draw, tw, th, 2);
            save(one, QStringLiteral("toolbar/%1.png").arg(QLatin1String(t.name)));
            save(two, QStringLiteral("toolbar/%1@2x.png").arg(QLatin1String(t.name)));
            sp.drawImage(i * tw, 0, one);
            sp2.drawImage(i * tw * 2, 0, two);
        }
    }
    save(strip, QStringLiteral("toolbar/toolbar.png"));
    save(strip2, QStringLiteral("toolbar/toolbar@2x.png"));

    // Window icons: 32 x 32 and 16 x 16.
    for (const WindowIcon& ic : kIcons) {
        const QString base = QStringLiteral("icons/%1").arg(QLatin1String(ic.name));
        save(render(ic.draw, 16, 16, 2), base + QStringLiteral(".png"));
        const auto pm = pixelMaps().find(QStringLiteral("icon:%1").arg(QLatin1String(ic.name)));
        save(pm != pixelMaps().end() ? fromPixelMap(pm->second, 16, 16) : render(ic.draw, 16, 16, 1),
             base + QStringLiteral("16.png"));
    }

    // The application icon for the desktop's icon theme, installed under
    // share/icons/hicolor. 16 and 32 are the window icon's own pictures;
    // the other sizes are drawn for their size.
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QImage icon = size == 16   ? render(drawAppIcon, 16, 16, 1)
                            : size == 32 ? render(drawAppIcon, 16, 16, 2)
                                         : renderAppIconAt(size);
        save(icon, QStringLiteral("icons/hicolor/%1x%1/apps/org.veltro.VeltroInterface.png").arg(size));
    }

    save(render(drawLogo, 20, 18, 2), QStringLiteral("logo.png"));
    save(makeSplash(), QStringLiteral("splash.png"));
    return g_failures == 0 ? 0 : 1;
}
