#include "SyntheticDamage.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace veltro::bench {

std::string SampleDataDir() { return "/usr/share/doc/opencv-doc/examples/data"; }

std::vector<std::string> SamplePhotoNames()
{
    return {"aero1.jpg",    "aero3.jpg",       "aloeL.jpg",  "apple.jpg",
            "baboon.jpg",   "board.jpg",       "building.jpg", "butterfly.jpg",
            "chicky_512.png", "ela_original.jpg", "fruits.jpg", "graf1.png",
            "home.jpg",     "left.jpg",        "leuvenA.jpg", "licenseplate_motion.jpg",
            "messi5.jpg",   "orange.jpg",      "rubberwhale1.png", "smarties.png",
            "squirrel_cls.jpg", "stuff.jpg"};
}

cv::Mat MakeDocumentPage(cv::Size size, cv::RNG& rng, bool drawing)
{
    cv::Mat1f grain(size);
    rng.fill(grain, cv::RNG::NORMAL, 0.0, 4.0);
    cv::GaussianBlur(grain, grain, cv::Size(), 0.8);
    const cv::Vec3f paper(float(rng.uniform(170, 195)), float(rng.uniform(205, 220)), float(rng.uniform(228, 242)));
    cv::Mat page(size, CV_8UC3);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const float shade = 1.0f - 0.06f * float(x + y) / float(size.width + size.height);
            for (int c = 0; c < 3; ++c)
                page.at<cv::Vec3b>(y, x)[c] = cv::saturate_cast<uchar>(paper[c] * shade + grain(y, x));
        }
    const int fonts[] = {cv::FONT_HERSHEY_SIMPLEX, cv::FONT_HERSHEY_TRIPLEX, cv::FONT_HERSHEY_COMPLEX};
    const int font = fonts[rng.uniform(0, 3)];
    const double scale = rng.uniform(0.55, 0.8);
    const int lineHeight = static_cast<int>(34 * scale) + 6;
    const int ink = rng.uniform(25, 60);
    for (int y = 40; y < size.height - 30; y += lineHeight) {
        std::string line;
        int x = 30;
        while (true) {
            std::string word;
            const int letters = rng.uniform(2, 9);
            for (int i = 0; i < letters; ++i)
                word += static_cast<char>('a' + rng.uniform(0, 26));
            int base = 0;
            const cv::Size ts = cv::getTextSize(word + " ", font, scale, 1, &base);
            if (x + ts.width > size.width - 30)
                break;
            cv::putText(page, word, cv::Point(x, y), font, scale, cv::Scalar(ink, ink, ink + 5), 1, cv::LINE_AA);
            x += ts.width;
        }
    }
    if (drawing) {
        // A ruled line, and slanted strokes of a diagram or a signature.
        const cv::Scalar inkColour(ink, ink, ink + 5);
        const int ruleY = rng.uniform(size.height / 4, 3 * size.height / 4);
        cv::line(page, cv::Point(20, ruleY), cv::Point(size.width - 20, ruleY), inkColour, rng.uniform(1, 3),
                 cv::LINE_AA);
        for (int i = 0; i < 2; ++i) {
            const double a = rng.uniform(0.0, CV_PI);
            const cv::Point2d c(rng.uniform(0.3, 0.7) * size.width, rng.uniform(0.3, 0.7) * size.height);
            const double half = rng.uniform(0.2, 0.45) * std::min(size.width, size.height);
            const cv::Point2d d(std::cos(a) * half, std::sin(a) * half);
            cv::line(page, c - d, c + d, inkColour, rng.uniform(1, 4), cv::LINE_AA);
        }
    }
    std::vector<uchar> jpeg;
    cv::imencode(".jpg", page, jpeg, {cv::IMWRITE_JPEG_QUALITY, 92});
    return cv::imdecode(jpeg, cv::IMREAD_COLOR);
}

namespace {

// Blends `colour` into `image` with the per-pixel opacity `alpha`, over
// the rectangle `roi` of the image (alpha covers just the rectangle).
void Blend(cv::Mat& image, const cv::Rect& roi, const cv::Mat1f& alpha, const cv::Mat3f& colour)
{
    for (int y = 0; y < roi.height; ++y)
        for (int x = 0; x < roi.width; ++x) {
            const float a = alpha(y, x);
            if (a <= 0)
                continue;
            cv::Vec3b& p = image.at<cv::Vec3b>(roi.y + y, roi.x + x);
            const cv::Vec3f& c = colour(y, x);
            for (int k = 0; k < 3; ++k)
                p[k] = cv::saturate_cast<uchar>(p[k] * (1 - a) + c[k] * a);
        }
}

cv::Mat1f Grey(const cv::Mat& image)
{
    cv::Mat grey;
    cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
    cv::Mat1f g;
    grey.convertTo(g, CV_32F);
    return g;
}

// A random pixel of a non-empty 8-bit mask.
cv::Point RandomPixel(const cv::Mat& mask, cv::RNG& rng)
{
    std::vector<cv::Point> points;
    cv::findNonZero(mask, points);
    return points[rng.uniform(0, static_cast<int>(points.size()))];
}

}  // namespace

Damaged AddBlotches(const cv::Mat& clean, cv::RNG& rng, const BlotchOptions& o)
{
    Damaged d;
    d.image = clean.clone();
    d.truth = cv::Mat::zeros(clean.size(), CV_8UC1);
    d.userMask = cv::Mat::zeros(clean.size(), CV_8UC1);
    const cv::Rect whole(0, 0, clean.cols, clean.rows);
    int kinds[3] = {0, 0, 0};
    for (int i = 0; i < o.count; ++i) {
        const int r = rng.uniform(o.minRadius, o.maxRadius + 1);
        const int halo = rng.uniform(o.minHalo, o.maxHalo + 1);
        const int margin = r + 2 * halo + 4;
        if (clean.cols <= 2 * margin || clean.rows <= 2 * margin)
            continue;
        const cv::Point c(rng.uniform(margin, clean.cols - margin), rng.uniform(margin, clean.rows - margin));
        const cv::Rect roi = cv::Rect(c.x - margin - 4, c.y - margin - 4, 2 * margin + 9, 2 * margin + 9) & whole;
        std::vector<cv::Point> poly;
        const double phase = rng.uniform(0.0, 6.28), wobble = rng.uniform(0.1, 0.35);
        const double stretch = rng.uniform(0.6, 1.0);
        for (int k = 0; k < 24; ++k) {
            const double t = 2 * CV_PI * k / 24;
            const double rr = r * (1 + wobble * std::sin(3 * t + phase) + 0.1 * rng.uniform(-1.0, 1.0));
            poly.emplace_back(c.x - roi.x + int(rr * std::cos(t)), c.y - roi.y + int(rr * stretch * std::sin(t)));
        }
        cv::Mat1f shape = cv::Mat1f::zeros(roi.size());
        cv::fillPoly(shape, std::vector<std::vector<cv::Point>>{poly}, cv::Scalar(1.0), cv::LINE_AA);
        // The soft halo reaches about `halo` pixels beyond the painted part.
        cv::GaussianBlur(shape, shape, cv::Size(), std::max(0.5, halo / 2.0));
        const float opacity = float(rng.uniform(0.75, 1.0));
        const int kind = rng.uniform(0, 3);
        ++kinds[kind];
        cv::Vec3f colour;
        if (kind == 0) {  // dark: ink, dirt
            const int tone = rng.uniform(15, 70);
            colour = cv::Vec3f(float(tone), float(tone + rng.uniform(-8, 9)), float(tone + rng.uniform(0, 16)));
        } else if (kind == 1) {  // light: paint, paper lost
            const int tone = rng.uniform(190, 246);
            colour = cv::Vec3f(float(tone - rng.uniform(0, 20)), float(tone - rng.uniform(0, 8)), float(tone));
        } else {  // coloured: ink or paint of some hue
            colour = cv::Vec3f(float(rng.uniform(20, 235)), float(rng.uniform(20, 235)), float(rng.uniform(20, 235)));
        }
        // Not quite flat: the blotch's own colour wavers a little.
        cv::Mat1f wobbleField(roi.size());
        rng.fill(wobbleField, cv::RNG::NORMAL, 0.0, 6.0);
        cv::GaussianBlur(wobbleField, wobbleField, cv::Size(), 2.0);
        cv::Mat3f colourMap(roi.size());
        for (int y = 0; y < roi.height; ++y)
            for (int x = 0; x < roi.width; ++x)
                colourMap(y, x) = colour + cv::Vec3f::all(wobbleField(y, x));
        Blend(d.image, roi, shape * opacity, colourMap);
        d.truth(roi).setTo(255, shape * opacity > 0.02f);
        // The user paints about the part where the blotch is at half its
        // strength, a little inside or outside it.
        d.userMask(roi).setTo(255, shape >= float(rng.uniform(0.35, 0.65)));
    }
    char kind[64];
    std::snprintf(kind, sizeof kind, "%d dark, %d light, %d coloured", kinds[0], kinds[1], kinds[2]);
    d.kind = kind;
    return d;
}

Damaged AddBlotches(const cv::Mat& clean, cv::RNG& rng, int count, int minRadius, int maxRadius)
{
    BlotchOptions o;
    o.count = count;
    o.minRadius = minRadius;
    o.maxRadius = maxRadius;
    return AddBlotches(clean, rng, o);
}

Damaged AddCrack(const cv::Mat& clean, cv::RNG& rng, const CrackOptions& o)
{
    Damaged d;
    d.image = clean.clone();
    const double angle = rng.uniform(0.0, CV_PI);
    const cv::Point2d dir(std::cos(angle), std::sin(angle)), normal(-dir.y, dir.x);
    // About half of the cracks run through bright picture structure.
    cv::Mat1f grey = Grey(clean);
    cv::GaussianBlur(grey, grey, cv::Size(), 2.0);
    cv::Mat inner = cv::Mat::zeros(clean.size(), CV_8UC1);
    inner(cv::Rect(clean.cols / 5, clean.rows / 5, 3 * clean.cols / 5, 3 * clean.rows / 5)).setTo(255);
    const cv::Mat bright = (grey >= 190) & inner;
    cv::Point2d centre(clean.cols / 2.0 + rng.uniform(-0.2, 0.2) * clean.cols,
                       clean.rows / 2.0 + rng.uniform(-0.2, 0.2) * clean.rows);
    const bool acrossBright = rng.uniform(0, 2) == 1 && cv::countNonZero(bright) > 0;
    if (acrossBright)
        centre = cv::Point2d(RandomPixel(bright, rng));
    // Long enough, but both ends inside the picture.
    double length = rng.uniform(o.minLength, o.maxLength + 1);
    const double a1 = rng.uniform(0.0, 8.0), a2 = rng.uniform(0.0, 2.5);
    const double f1 = rng.uniform(0.5, 1.5), f2 = rng.uniform(1.5, 4.0), ph = rng.uniform(0.0, 6.28);
    auto at = [&](double t) {
        const double off = a1 * std::sin(CV_PI * t * f1 + ph) * std::sin(CV_PI * t) +
                           a2 * std::sin(2 * CV_PI * t * f2);
        return centre + dir * ((t - 0.5) * length) + normal * off;
    };
    auto inside = [&](cv::Point2d p) {
        return p.x >= 8 && p.y >= 8 && p.x < clean.cols - 8 && p.y < clean.rows - 8;
    };
    while (length > 20 && !(inside(at(0)) && inside(at(1))))
        length *= 0.9;
    std::vector<cv::Point> path;
    const int steps = static_cast<int>(length);
    for (int i = 0; i <= steps; ++i) {
        const cv::Point2d p = at(double(i) / steps);
        path.emplace_back(cvRound(p.x * 16), cvRound(p.y * 16));
    }
    cv::Mat1f alpha = cv::Mat1f::zeros(clean.size());
    const int width = rng.uniform(o.minWidth, o.maxWidth + 1);
    cv::polylines(alpha, std::vector<std::vector<cv::Point>>{path}, false, cv::Scalar(1.0), width, cv::LINE_AA, 4);
    cv::GaussianBlur(alpha, alpha, cv::Size(), 0.6);
    cv::min(alpha, 1.0, alpha);
    const int tone = rng.uniform(228, 256);
    const float opacity = float(rng.uniform(0.85, 1.0));
    const cv::Mat3f colour(clean.size(), cv::Vec3f::all(float(tone)));
    Blend(d.image, cv::Rect(0, 0, clean.cols, clean.rows), alpha * opacity, colour);
    d.truth = alpha * opacity > 0.05f;
    auto click = [&](cv::Point q) {
        return cv::Point(std::clamp(q.x / 16 + rng.uniform(-o.clickError, o.clickError + 1), 0, clean.cols - 1),
                         std::clamp(q.y / 16 + rng.uniform(-o.clickError, o.clickError + 1), 0, clean.rows - 1));
    };
    d.p1 = click(path.front());
    d.p2 = click(path.back());
    char kind[64];
    std::snprintf(kind, sizeof kind, "width %d tone %d%s", width, tone, acrossBright ? " across bright" : "");
    d.kind = kind;
    return d;
}

Damaged AddCrack(const cv::Mat& clean, cv::RNG& rng, int minLength, int maxLength)
{
    CrackOptions o;
    o.minLength = minLength;
    o.maxLength = maxLength;
    o.maxWidth = 3;
    o.clickError = 2;
    return AddCrack(clean, rng, o);
}

Damaged AddFoxing(const cv::Mat& clean, cv::RNG& rng, const FoxOptions& o)
{
    Damaged d;
    cv::Mat candidates;
    if (o.lightAreasOnly) {
        // Light in every channel and smooth over a good stretch: a sky, a
        // border, light cloth.
        cv::Mat1f grey = Grey(clean), mean, sq;
        cv::blur(grey, mean, cv::Size(31, 31));
        cv::blur(grey.mul(grey), sq, cv::Size(31, 31));
        cv::Mat1f var = sq - mean.mul(mean);
        cv::Mat colourMean;
        cv::blur(clean, colourMean, cv::Size(31, 31));
        std::vector<cv::Mat> channels;
        cv::split(colourMean, channels);
        const cv::Mat darkest = cv::min(cv::min(channels[0], channels[1]), channels[2]);
        candidates = (mean >= 150) & (var <= 144.0f) & (darkest >= 60);
        cv::erode(candidates, candidates, cv::Mat(), cv::Point(-1, -1), 2);
        if (cv::countNonZero(candidates) < 0.01 * clean.total())
            return d;
    }
    cv::Mat1f amount = cv::Mat1f::zeros(clean.size());
    for (int i = 0; i < o.count; ++i) {
        const int r = rng.uniform(o.minRadius, o.maxRadius + 1);
        cv::Point2f c(float(rng.uniform(r, std::max(r + 1, clean.cols - r))),
                      float(rng.uniform(r, std::max(r + 1, clean.rows - r))));
        if (o.lightAreasOnly)
            c = cv::Point2f(RandomPixel(candidates, rng));
        const float peak = float(rng.uniform(o.minPeak, o.maxPeak));
        const float sx = r / 1.6f, sy = sx * float(rng.uniform(0.6, 1.0));
        const float rot = float(rng.uniform(0.0, CV_PI));
        const int reach = 3 * r;
        for (int y = std::max(0, int(c.y) - reach); y < std::min(clean.rows, int(c.y) + reach); ++y)
            for (int x = std::max(0, int(c.x) - reach); x < std::min(clean.cols, int(c.x) + reach); ++x) {
                const float dx = x - c.x, dy = y - c.y;
                const float u = dx * std::cos(rot) + dy * std::sin(rot), v = -dx * std::sin(rot) + dy * std::cos(rot);
                const float g = std::exp(-0.5f * (u * u / (sx * sx) + v * v / (sy * sy)));
                // A flattened core with a soft edge, as foxing spots look.
                amount(y, x) += peak * std::min(1.0f, 1.6f * g);
            }
    }
    cv::Mat1f speckle(clean.size());
    rng.fill(speckle, cv::RNG::NORMAL, 1.0, 0.12);
    cv::GaussianBlur(speckle, speckle, cv::Size(), 1.0);
    amount = amount.mul(speckle);
    cv::min(amount, 0.9, amount);
    cv::max(amount, 0.0, amount);
    const cv::Vec3f beta(float(rng.uniform(0.7, 0.85)), float(rng.uniform(0.4, 0.55)), float(rng.uniform(0.15, 0.28)));
    d.image = clean.clone();
    for (int y = 0; y < clean.rows; ++y)
        for (int x = 0; x < clean.cols; ++x) {
            const float a = amount(y, x);
            if (a <= 0)
                continue;
            cv::Vec3b& p = d.image.at<cv::Vec3b>(y, x);
            for (int c = 0; c < 3; ++c)
                p[c] = cv::saturate_cast<uchar>(p[c] * (1 - a * beta[c]));
        }
    d.truth = amount * beta[0] > 0.02f;
    char kind[64];
    std::snprintf(kind, sizeof kind, "%d spots r %d-%d peak %.2f-%.2f", o.count, o.minRadius, o.maxRadius, o.minPeak,
                  o.maxPeak);
    d.kind = kind;
    return d;
}

Damaged AddFoxing(const cv::Mat& clean, cv::RNG& rng, int count, int minRadius, int maxRadius)
{
    FoxOptions o;
    o.count = count;
    o.minRadius = minRadius;
    o.maxRadius = maxRadius;
    return AddFoxing(clean, rng, o);
}

Damaged AddCrease(const cv::Mat& clean, cv::RNG& rng, const CreaseOptions& o)
{
    Damaged d;
    d.image = clean.clone();
    const double angle = rng.uniform(0.0, CV_PI);
    const cv::Point2d centre(clean.cols * rng.uniform(0.2, 0.8), clean.rows * rng.uniform(0.2, 0.8));
    const cv::Point2d normal(-std::sin(angle), std::cos(angle)), dir(std::cos(angle), std::sin(angle));
    CreaseKind kind = o.kind;
    if (kind == CreaseKind::Any)
        kind = static_cast<CreaseKind>(rng.uniform(0, 3));
    const int width = rng.uniform(o.minWidth, o.maxWidth + 1);
    // A bump of full width at half height `w`.
    auto sigma = [](double w) { return std::max(0.45, w / 2.355); };
    const bool ridge = kind != CreaseKind::Shadow, shadow = kind != CreaseKind::Ridge;
    const double ridgeAmp = ridge ? rng.uniform(12.0, 40.0) : 0.0;
    const double shadowShare = shadow ? rng.uniform(0.1, 0.35) : 0.0;
    double sRidge = sigma(width), sShadow = sigma(width), gap = 0;
    if (kind == CreaseKind::Both) {
        sShadow = sigma(rng.uniform(1, o.maxWidth + 1));
        gap = (rng.uniform(0, 2) ? 1 : -1) * (1.2 * (sRidge + sShadow) + 1.0);
    }
    const double wave = rng.uniform(0.005, 0.02), ph = rng.uniform(0.0, 6.28), depth = rng.uniform(0.0, 0.3);
    cv::Mat1f change = cv::Mat1f::zeros(clean.size());
    const double reach = 4 * std::max(sRidge, sShadow) + std::abs(gap) + 2;
    for (int y = 0; y < clean.rows; ++y)
        for (int x = 0; x < clean.cols; ++x) {
            const cv::Point2d q = cv::Point2d(x, y) - centre;
            const double dd = q.dot(normal);
            if (std::abs(dd) > reach)
                continue;
            const double mod = 1.0 + depth * std::sin(wave * q.dot(dir) + ph);
            const double r = ridgeAmp * std::exp(-dd * dd / (2 * sRidge * sRidge));
            const double s = shadowShare * std::exp(-(dd - gap) * (dd - gap) / (2 * sShadow * sShadow));
            cv::Vec3b& p = d.image.at<cv::Vec3b>(y, x);
            const cv::Vec3b before = p;
            // The ridge lights the paper; the shadow darkens what is there.
            for (int c = 0; c < 3; ++c)
                p[c] = cv::saturate_cast<uchar>((p[c] + mod * r) * (1 - mod * s));
            change(y, x) = float(std::abs(int(p[1]) - int(before[1])) + std::abs(int(p[2]) - int(before[2])) +
                                 std::abs(int(p[0]) - int(before[0]))) / 3.0f;
        }
    // The crease runs across the whole picture: the chord through centre.
    double tMin = -1e9, tMax = 1e9;
    for (int axis = 0; axis < 2; ++axis) {
        const double p = axis ? centre.y : centre.x, v = axis ? dir.y : dir.x;
        const double limit = axis ? clean.rows - 1 : clean.cols - 1;
        if (std::abs(v) < 1e-9)
            continue;
        const double t0 = (0 - p) / v, t1 = (limit - p) / v;
        tMin = std::max(tMin, std::min(t0, t1));
        tMax = std::min(tMax, std::max(t0, t1));
    }
    RegionKind region = o.region;
    if (region == RegionKind::Any)
        region = static_cast<RegionKind>(rng.uniform(0, 3));
    const cv::Rect whole(0, 0, clean.cols, clean.rows);
    if (region == RegionKind::Whole) {
        d.region = whole;
    } else {
        // A stretch of the crease, dragged from one end to the other with
        // a little room.
        const double share = rng.uniform(0.3, 1.0);
        const double len = (tMax - tMin) * share, from = tMin + rng.uniform(0.0, 1.0) * (tMax - tMin - len);
        const cv::Point2d a = centre + dir * from, b = centre + dir * (from + len);
        const int room = rng.uniform(5, 16);
        cv::Rect box(cv::Point(cvRound(std::min(a.x, b.x)) - room, cvRound(std::min(a.y, b.y)) - room),
                     cv::Point(cvRound(std::max(a.x, b.x)) + room, cvRound(std::max(a.y, b.y)) + room));
        if (region == RegionKind::Loose) {
            // Up to three times wider across the crease, the crease
            // anywhere inside.
            const double factor = rng.uniform(1.5, 3.0), split = rng.uniform(0.0, 1.0);
            if (std::abs(dir.x) >= std::abs(dir.y)) {
                const int extra = cvRound(box.height * (factor - 1));
                box.y -= cvRound(extra * split);
                box.height += extra;
            } else {
                const int extra = cvRound(box.width * (factor - 1));
                box.x -= cvRound(extra * split);
                box.width += extra;
            }
        }
        d.region = box & whole;
    }
    d.truth = cv::Mat::zeros(clean.size(), CV_8UC1);
    cv::Mat inRegion = change(d.region) > 1.5f;
    inRegion.copyTo(d.truth(d.region));
    static const char* kinds[] = {"ridge", "shadow", "both"};
    static const char* regions[] = {"tight", "loose", "whole"};
    char text[96];
    const double offset = (centre - cv::Point2d(d.region.tl())).dot(normal);
    std::snprintf(text, sizeof text, "%s w%d %.1fdeg off %.1f %s", kinds[int(kind)], width, angle * 180 / CV_PI, offset,
                  regions[int(region)]);
    d.kind = text;
    return d;
}

Damaged AddCrease(const cv::Mat& clean, cv::RNG& rng)
{
    CreaseOptions o;
    o.kind = CreaseKind::Both;
    o.region = RegionKind::Tight;
    o.minWidth = 2;
    o.maxWidth = 4;
    return AddCrease(clean, rng, o);
}

cv::Rect RandomRegion(cv::Size size, cv::RNG& rng)
{
    if (rng.uniform(0, 4) == 0)
        return cv::Rect(0, 0, size.width, size.height);
    const int w = std::max(8, int(size.width * rng.uniform(0.1, 0.9)));
    const int h = std::max(8, int(size.height * rng.uniform(0.1, 0.9)));
    const int x = rng.uniform(0, std::max(1, size.width - w)), y = rng.uniform(0, std::max(1, size.height - h));
    return cv::Rect(x, y, w, h) & cv::Rect(0, 0, size.width, size.height);
}

}  // namespace veltro::bench
