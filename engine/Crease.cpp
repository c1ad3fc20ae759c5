// Crease removal. A crease is a thin straight line of abnormal brightness (a
// light ridge, a dark shadow, or both side by side) crossing the region the
// user dragged, at any angle and anywhere in it.
//
// Finding it: every pixel's departure from the ring of radius N/2 around it
// (a thin line departs from nearly all of its ring), clipped so that strong
// picture structure cannot outweigh a faint line that runs all the way, is
// summed along every line of the region, over all directions and offsets,
// on a reduced copy. The strongest lines are candidates. Each is followed at
// full size: the median brightness across it, line by line (a median, so
// that text and detail crossing the line do not count), in stretches along
// its length, corrects its direction and position and tells a crease from
// picture structure: a crease is thin, matches its shape along most of its
// length, is not the border between a darker and a lighter side, and does
// not darken by more than half (a line of ink does).
//
// Removing it: across the crease the shape is the median profile's
// departure from the straight baseline beside it; its strength along the
// crease is fitted on moving averages of Q pixels. A ridge is light added to
// the picture and is subtracted; a shadow darkens what lies beneath and is
// divided out. The texture beneath stays.

#include "engine/Restoration.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace veltro {

namespace {

constexpr int kDetectionSide = 800;    // the search runs on a copy this large
constexpr int kDirections = 360;       // directions tried over 180 degrees
constexpr int kCandidates = 16;        // lines examined at full size
constexpr double kMinChord = 0.3;      // share of the region's diagonal a crease crosses at least
constexpr double kPatternShare = 0.7;  // lines this strong, of its sign, beside a line in its direction...
constexpr int kPatternLines = 3;       // ...this many times make a pattern
constexpr double kBin = 0.5;           // profile resolution across, pixels
constexpr double kFitReach = 16;       // the crease's shape is fitted this far either side
constexpr double kMinFit = 0.7;        // share of the departure near the crease its shape must explain
constexpr int kStretches = 10;         // pieces of the crease compared with each other
constexpr int kMaxExtent = 15;         // most a crease spreads either side of its centre
constexpr double kMinConsistency = 0.8;  // share of the stretches matching the crease's shape
constexpr double kMinCorrelation = 0.6;  // their mean correlation with it
constexpr double kMaxVariation = 0.75;   // of its strength between stretches
constexpr double kMaxSpread = 2.0;       // of the grey levels under it, against beside it
constexpr double kOwnSpread = 0.3;       // spread under it its own strength may cause, as a share of it
constexpr double kMaxDarkening = 0.5;  // a deeper dark line is ink, not a shadow
constexpr double kMaxStep = 0.6;       // sides' difference, in shares of the crease's strength
constexpr double kDetectShare = 0.5;   // share of THR1 the crease must reach along its length
constexpr double kMinStrength = 0.25;  // share of its mean strength below which a stretch is left alone
constexpr double kMaxStrength = 1.5;
constexpr double kMaxShadow = 0.7;     // deepest shadow divided out
// Where each stage ends, as a share of the time of the whole removal.
constexpr double kGreyDone = 0.15;
constexpr double kSearchDone = 0.6;
constexpr double kExamineDone = 0.8;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A straight line: the points whose offset -x sin(a) + y cos(a) is `offset`.
struct Line {
    double angle = 0, offset = 0;
    double Across(double x, double y) const { return -x * std::sin(angle) + y * std::cos(angle) - offset; }
    double Along(double x, double y) const { return x * std::cos(angle) + y * std::sin(angle); }
};

// The pixels of `grey` at most `reach` from a line, whose foot on the line
// lies in `area`: position along the line, offset across it, grey level.
struct Samples {
    std::vector<float> t, o, v;
    double tMin = 0, tMax = 0;
};

Samples Gather(const cv::Mat1f& grey, const cv::Rect& area, const Line& line, double reach)
{
    Samples s;
    const double sa = std::sin(line.angle), ca = std::cos(line.angle);
    s.tMin = std::numeric_limits<double>::max();
    s.tMax = -s.tMin;
    const int yFrom = std::max(0, static_cast<int>(std::floor(area.y - reach))),
              yTo = std::min(grey.rows, static_cast<int>(std::ceil(area.br().y + reach)));
    for (int y = yFrom; y < yTo; ++y) {
        // Only the stretch of the row within reach of the line.
        int x0 = std::max(0, static_cast<int>(std::floor(area.x - reach)));
        int x1 = std::min(grey.cols, static_cast<int>(std::ceil(area.br().x + reach)));
        const double rel = y * ca - line.offset;
        if (std::abs(sa) > 1e-9) {
            const double a = (rel - reach) / sa, b = (rel + reach) / sa;
            x0 = std::max(x0, static_cast<int>(std::floor(std::min(a, b))));
            x1 = std::min(x1, static_cast<int>(std::ceil(std::max(a, b))) + 1);
        } else if (std::abs(rel) > reach) {
            continue;
        }
        const float* g = grey[y];
        for (int x = x0; x < x1; ++x) {
            const double o = rel - x * sa;
            if (std::abs(o) > reach)
                continue;
            const double t = x * ca + y * sa;
            const double fx = t * ca - line.offset * sa, fy = t * sa + line.offset * ca;
            if (fx < area.x - 0.5 || fy < area.y - 0.5 || fx > area.br().x - 0.5 || fy > area.br().y - 0.5)
                continue;
            s.t.push_back(float(t));
            s.o.push_back(float(o));
            s.v.push_back(g[x]);
            s.tMin = std::min(s.tMin, t);
            s.tMax = std::max(s.tMax, t);
        }
    }
    return s;
}

// The mean grey level per offset bin of width `bin` over [-reach, reach], of
// the samples whose position along the line lies in [from, to), robust to
// text and detail crossing the line: the mean of each bin's middle half.
// Bins without samples take their neighbours' values. Grey levels are whole
// numbers, so each bin is a histogram.
std::vector<double> MedianProfile(const Samples& s, double reach, double bin, double from, double to)
{
    const int bins = static_cast<int>(std::floor(2 * reach / bin)) + 1;
    std::vector<int> histogram(size_t(bins) * 256, 0), counts(bins, 0);
    for (size_t i = 0; i < s.v.size(); ++i) {
        if (s.t[i] < from || s.t[i] >= to)
            continue;
        const int b = static_cast<int>(std::floor((s.o[i] + reach) / bin + 0.5));
        if (b < 0 || b >= bins)
            continue;
        ++histogram[size_t(b) * 256 + std::clamp(static_cast<int>(s.v[i]), 0, 255)];
        ++counts[b];
    }
    std::vector<double> profile(bins, kNaN);
    int filled = 0;
    for (int b = 0; b < bins; ++b) {
        const int n = counts[b];
        if (n == 0)
            continue;
        ++filled;
        // Ranks [first, last) of the sorted values.
        const int first = n / 4, last = n >= 4 ? n - n / 4 : n;
        const int* h = &histogram[size_t(b) * 256];
        double sum = 0;
        int rank = 0;
        for (int v = 0; v < 256 && rank < last; ++v) {
            const int from = std::max(rank, first), to = std::min(rank + h[v], last);
            if (to > from)
                sum += double(to - from) * v;
            rank += h[v];
        }
        profile[b] = sum / (last - first);
    }
    if (filled < std::max(3, bins / 5))
        return {};
    for (int b = 0; b < bins; ++b) {
        if (!std::isnan(profile[b]))
            continue;
        int l = b - 1, r = b + 1;
        while (l >= 0 && std::isnan(profile[l]))
            --l;
        while (r < bins && std::isnan(profile[r]))
            ++r;
        if (l < 0)
            profile[b] = profile[r];
        else if (r >= bins)
            profile[b] = profile[l];
        else
            profile[b] = profile[l] + (profile[r] - profile[l]) * (b - l) / double(r - l);
    }
    return profile;
}

// A thin bump across the crease: a ridge (height above 0) or a shadow.
struct Bump {
    double centre = 0, sigma = 1, height = 0;
    double At(double o) const
    {
        const double u = (o - centre) / sigma;
        return height * std::exp(-0.5 * u * u);
    }
};

// A crease's shape across it: one thin bump, or a ridge and a shadow side
// by side, on the picture's smooth baseline.
struct Shape {
    double reach = 0;
    Bump main, other;               // other.height is 0 without a second bump
    double base[3] = {0, 0, 0};     // baseline: base[0] + base[1] u + base[2] u^2, u = o / kFitReach
    double fit = 0;                 // share of the departure near the crease its shape explains
    double darkening = 0;           // deepest share of the baseline taken away
    double step = 0;                // difference between the levels of the two sides

    double At(double o) const { return main.At(o) + other.At(o); }
    double Base(double o) const
    {
        const double u = o / kFitReach;
        return base[0] + base[1] * u + base[2] * u * u;
    }
    double Lo() const
    {
        double lo = main.centre - 3 * main.sigma;
        if (other.height != 0)
            lo = std::min(lo, other.centre - 3 * other.sigma);
        return lo;
    }
    double Hi() const
    {
        double hi = main.centre + 3 * main.sigma;
        if (other.height != 0)
            hi = std::max(hi, other.centre + 3 * other.sigma);
        return hi;
    }
};

constexpr double kSigmas[] = {0.45, 0.6, 0.8, 1.0, 1.25, 1.5, 1.8, 2.2, 2.7, 3.3, 4.0, 5.0, 6.5};
constexpr double kMaxSigma = 3.6;  // wider is picture structure (a crease is at most 8 pixels wide)

// Least squares of `profile` (bins of kBin over [-reach, reach]), within
// kFitReach of the centre, on a smooth baseline and the given bumps'
// shapes; returns the residual and sets the heights and the baseline.
double FitHeights(const std::vector<double>& profile, double reach, Bump* bumps, int count, double* base)
{
    using Mat5 = cv::Matx<double, 5, 5>;
    using Vec5 = cv::Vec<double, 5>;
    const int k = 3 + count;
    Mat5 m = Mat5::zeros();
    Vec5 v = Vec5::all(0);
    double yy = 0;
    const int from = std::max(0, static_cast<int>(std::lround((reach - kFitReach) / kBin)));
    const int to = std::min(int(profile.size()) - 1, static_cast<int>(std::lround((reach + kFitReach) / kBin)));
    for (int b = from; b <= to; ++b) {
        const double o = b * kBin - reach, y = profile[b], u = o / kFitReach;
        double f[5] = {1.0, u, u * u, 0, 0};
        for (int i = 0; i < count; ++i) {
            const double z = (o - bumps[i].centre) / bumps[i].sigma;
            f[3 + i] = std::exp(-0.5 * z * z);
        }
        for (int i = 0; i < k; ++i) {
            v[i] += f[i] * y;
            for (int j = 0; j < k; ++j)
                m(i, j) += f[i] * f[j];
        }
        yy += y * y;
    }
    for (int i = k; i < 5; ++i)
        m(i, i) = 1;
    Vec5 x;
    if (!cv::solve(m, v, x, cv::DECOMP_CHOLESKY))
        return std::numeric_limits<double>::max();
    for (int i = 0; i < 3; ++i)
        base[i] = x[i];
    for (int i = 0; i < count; ++i)
        bumps[i].height = x[3 + i];
    // Residual = y.y - x.v for a least-squares solution.
    double xv = 0;
    for (int i = 0; i < k; ++i)
        xv += x[i] * v[i];
    return std::max(0.0, yy - xv);
}

// The crease in a median profile: the thin bump that explains most of it
// near the centre, then a thin bump of the other sign beside it if that
// explains much more.
Shape FitShape(const std::vector<double>& profile, double reach)
{
    Shape s;
    s.reach = reach;
    double base[3];
    double best = std::numeric_limits<double>::max();
    auto fitFirst = [&](const Bump* second) {
        Bump chosen = s.main;
        for (double sigma : kSigmas)
            for (double c = -4; c <= 4; c += 0.25) {
                Bump b[2] = {{c, sigma, 0}, second ? *second : Bump()};
                const double r = FitHeights(profile, reach, b, second ? 2 : 1, base);
                if (r < best && (!second || b[0].height * b[1].height < 0)) {
                    best = r;
                    chosen = b[0];
                    std::copy(base, base + 3, s.base);
                    if (second)
                        s.other = b[1];
                }
            }
        s.main = chosen;
    };
    fitFirst(nullptr);
    const double single = best;
    // A second bump of the other sign, beside the first.
    Bump other;
    double withSecond = single;
    for (double sigma : kSigmas)
        for (double gap = s.main.sigma + sigma; gap <= 12; gap += 0.5)
            for (int side : {-1, 1}) {
                Bump b[2] = {s.main, {s.main.centre + side * gap, sigma, 0}};
                const double r = FitHeights(profile, reach, b, 2, base);
                if (r < withSecond && b[0].height * b[1].height < 0) {
                    withSecond = r;
                    other = b[1];
                }
            }
    if (withSecond < 0.8 * single) {
        best = std::numeric_limits<double>::max();
        fitFirst(&other);
    }
    // The bigger bump is the main one.
    if (std::abs(s.other.height) > std::abs(s.main.height))
        std::swap(s.main, s.other);
    // How much of the departure from the baseline near the crease its shape explains.
    double total = 0, left = 0;
    const double lo = s.Lo() - 2, hi = s.Hi() + 2;
    for (int b = 0; b < int(profile.size()); ++b) {
        const double o = b * kBin - reach;
        if (o < lo || o > hi)
            continue;
        const double d = profile[b] - s.Base(o);
        total += d * d;
        left += (d - s.At(o)) * (d - s.At(o));
    }
    s.fit = total > 0 ? 1 - left / total : 0;
    for (const Bump& b : {s.main, s.other})
        if (b.height < 0)
            s.darkening = std::max(s.darkening, -b.height / std::max(1.0, s.Base(b.centre)));
    // The two sides: the mean level just beyond the crease on each.
    double l = 0, r = 0;
    int nl = 0, nr = 0;
    for (int b = 0; b < int(profile.size()); ++b) {
        const double o = b * kBin - reach;
        if (o < s.Lo() && o >= s.Lo() - 6) {
            l += profile[b];
            ++nl;
        } else if (o > s.Hi() && o <= s.Hi() + 6) {
            r += profile[b];
            ++nr;
        }
    }
    s.step = nl && nr ? std::abs(l / nl - r / nr) : 0.0;
    return s;
}

// How the stretches of the crease agree with its shape. Returns the share
// of stretches whose profile correlates with the shape and has about its
// strength, and each such stretch's offset of best match.
struct Agreement {
    double consistency = 0, meanCorrelation = 0;
    double variation = 0;  // of the strength between stretches (relative for a shadow)
    std::vector<double> t, shift, weight;
};

Agreement Agree(const Samples& samples, const Shape& shape, double searchReach)
{
    Agreement a;
    const double length = samples.tMax - samples.tMin;
    if (length <= 0)
        return a;
    int usable = 0, agreeing = 0;
    std::vector<double> strengths;
    const int maxShift = static_cast<int>(std::lround(searchReach / kBin));
    const double lo = std::max(-shape.reach, shape.Lo() - 3), hi = std::min(shape.reach, shape.Hi() + 3);
    const int stretches = kStretches;
    for (int i = 0; i < stretches; ++i) {
        const double from = samples.tMin + length * i / stretches;
        const double to = samples.tMin + length * (i + 1) / stretches + (i + 1 == stretches ? 1 : 0);
        const double reach = shape.reach + searchReach;
        const std::vector<double> p = MedianProfile(samples, reach, kBin, from, to);
        if (p.empty())
            continue;
        ++usable;
        // The stretch's profile, shifted by d bins, against the shape.
        double bestCorr = -2, bestShift = 0, bestAmp = 0, bestLevel = 0;
        std::vector<double> corr(2 * maxShift + 1, -2);
        for (int d = -maxShift; d <= maxShift; ++d) {
            double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0, n = 0;
            for (double o = lo; o <= hi; o += kBin) {
                const int b = static_cast<int>(std::lround((o + reach) / kBin)) + d;
                if (b < 0 || b >= int(p.size()))
                    continue;
                const double x = shape.At(o), y = p[b];
                sx += x; sy += y; sxx += x * x; syy += y * y; sxy += x * y; n += 1;
            }
            if (n < 4)
                continue;
            const double vx = sxx - sx * sx / n, vy = syy - sy * sy / n, cxy = sxy - sx * sy / n;
            if (vx <= 0 || vy <= 0)
                continue;
            corr[maxShift + d] = cxy / std::sqrt(vx * vy);
            if (corr[maxShift + d] > bestCorr) {
                bestCorr = corr[maxShift + d];
                bestShift = d;
                bestAmp = cxy / vx;
                bestLevel = sy / n;
            }
        }
        a.meanCorrelation += std::max(0.0, bestCorr);
        // A shadow darkens by a share of what lies beneath, a ridge adds light.
        double strength = std::max(0.0, bestAmp);
        if (shape.main.height < 0 && bestLevel > 1)
            strength *= shape.Base(0) / bestLevel;
        strengths.push_back(strength);
        if (bestCorr >= 0.5 && bestAmp >= 0.3) {
            ++agreeing;
            double shift = bestShift;
            const int k = maxShift + int(bestShift);
            if (k > 0 && k < 2 * maxShift && corr[k - 1] > -2 && corr[k + 1] > -2) {
                const double den = corr[k - 1] - 2 * corr[k] + corr[k + 1];
                if (den < 0)
                    shift += 0.5 * (corr[k - 1] - corr[k + 1]) / den;
            }
            a.t.push_back(0.5 * (from + to));
            a.shift.push_back(shift * kBin);
            a.weight.push_back(bestCorr * bestCorr);
        }
    }
    if (usable < stretches / 2 + 1)
        return Agreement();
    a.consistency = double(agreeing) / usable;
    a.meanCorrelation /= usable;
    double m = 0, v = 0;
    for (double x : strengths)
        m += x / strengths.size();
    for (double x : strengths)
        v += (x - m) * (x - m) / strengths.size();
    a.variation = m > 0 ? std::sqrt(v) / m : 1.0;
    return a;
}

struct Crease {
    Line line;
    Shape shape;
    double consistency = 0, correlation = 0, variation = 0;
    double spread = 0;     // of the grey levels under the crease, against beside it
    bool sided = false;    // the picture lies on both sides of it
    bool found = false;
    double Score() const { return correlation * (1 - std::min(0.9, variation)) * std::sqrt(std::abs(shape.main.height)); }
};

// The spread of the grey levels under the crease's core against beside it
// (interquartile ranges). A crease dims or lights what lies beneath, so the
// spread under it is about that beside it; a line of text or of the
// picture's own detail (ink and paper in turn) spreads much more. Also
// whether the picture lies on both sides of the line, not only on one.
void Spread(const cv::Mat1f& grey, const cv::Rect& area, Crease& c)
{
    const Shape& shape = c.shape;
    const double centre = shape.main.centre, core = std::max(0.5, 0.5 * shape.main.sigma);
    const double lo = shape.Lo() - 2, hi = shape.Hi() + 2;
    const Samples s = Gather(grey, area, c.line, std::max(-lo, hi) + 6);
    std::vector<float> under, left, right;
    for (size_t i = 0; i < s.v.size(); ++i) {
        const double o = s.o[i];
        if (std::abs(o - centre) <= core)
            under.push_back(s.v[i]);
        else if (o < lo && o >= lo - 6)
            left.push_back(s.v[i]);
        else if (o > hi && o <= hi + 6)
            right.push_back(s.v[i]);
    }
    // Pixels per pixel of width: about equal on both sides when the line
    // does not run along the edge of the picture.
    const double density = under.size() / (2 * core), side = std::min(left.size(), right.size()) / 6.0;
    c.sided = under.size() >= 8 && side >= 0.5 * density;
    if (!c.sided)
        return;
    auto iqr = [](std::vector<float>& v) {
        const size_t a = v.size() / 4, b = v.size() - 1 - v.size() / 4;
        std::nth_element(v.begin(), v.begin() + a, v.end());
        const float q1 = v[a];
        std::nth_element(v.begin(), v.begin() + b, v.end());
        return double(v[b] - q1);
    };
    const double beside = 0.5 * (iqr(left) + iqr(right));
    // The crease's own strength varies along it, and so widens the spread
    // beneath it by a share of that strength.
    c.spread = (iqr(under) + 4) / (beside + 4 + kOwnSpread * std::abs(shape.main.height));
}

// The strongest thin departure of a median profile (bins of kBin over
// [-reach, reach]) within `search` of its centre: its offset and size.
std::pair<double, double> ThinPeak(const std::vector<double>& profile, double reach, double search, double bin)
{
    const int centre = static_cast<int>(std::lround(reach / bin));
    const int sBins = static_cast<int>(std::lround(search / bin));
    const int w1 = static_cast<int>(5 / bin), w2 = static_cast<int>(9 / bin);
    int best = centre;
    double bestDep = -1;
    for (int b = std::max(0, centre - sBins); b <= std::min(int(profile.size()) - 1, centre + sBins); ++b) {
        double side = 0;
        int n = 0;
        for (int k = w1; k <= w2; ++k)
            for (int sgn : {-1, 1}) {
                const int j = b + sgn * k;
                if (j >= 0 && j < int(profile.size())) {
                    side += profile[j];
                    ++n;
                }
            }
        const double dep = n ? std::abs(profile[b] - side / n) : 0;
        if (dep > bestDep) {
            bestDep = dep;
            best = b;
        }
    }
    return {(best - centre) * bin, bestDep};
}

// Follows a candidate line at full size: first the position nearby of the
// strongest thin departure across it, then the straight line through the
// crease's position in each stretch of its length, found by matching its
// shape; then judges what was found.
Crease Examine(const cv::Mat1f& grey, const cv::Rect& area, Line line, double search, double reach, double thr1,
               std::vector<Line>& seen)
{
    Crease c;
    const double degree = CV_PI / 180;
    auto normalise = [](Line& l) {
        if (l.angle < 0) {
            l.angle += CV_PI;
            l.offset = -l.offset;
        } else if (l.angle >= CV_PI) {
            l.angle -= CV_PI;
            l.offset = -l.offset;
        }
    };
    {
        // The strongest thin departure near the line's position.
        const double r = search + 10;
        const std::vector<double> profile = MedianProfile(Gather(grey, area, line, r), r, 1.0, -1e18, 1e18);
        if (profile.empty())
            return c;
        line.offset += ThinPeak(profile, r, search, 1.0).first;
        // Candidates often lead to the same line: it is examined once.
        for (const Line& l : seen) {
            const double da = std::abs(l.angle - line.angle);
            if (da < 0.3 * degree && std::abs(l.offset - line.offset) < 2)
                return c;
            if (CV_PI - da < 0.3 * degree && std::abs(l.offset + line.offset) < 2)
                return c;
        }
        seen.push_back(line);
    }
    for (int pass = 0; pass < 3; ++pass) {
        const double shiftReach = pass == 0 ? 3.0 : pass == 1 ? 2.0 : 1.0;
        const Samples near = Gather(grey, area, line, reach + shiftReach + 1);
        const std::vector<double> profile = MedianProfile(near, reach, kBin, -1e18, 1e18);
        if (profile.empty())
            return c;
        c.line = line;
        c.shape = FitShape(profile, reach);
        const Agreement agreement = Agree(near, c.shape, shiftReach);
        c.consistency = agreement.consistency;
        c.correlation = agreement.meanCorrelation;
        c.variation = agreement.variation;
        if (pass == 2 || agreement.t.size() < 3 || c.consistency < 0.5)
            break;
        // A straight line through the stretches' best matches.
        double sw = 0, st = 0, ss = 0, stt = 0, sts = 0;
        const double mid = 0.5 * (near.tMin + near.tMax);
        for (size_t i = 0; i < agreement.t.size(); ++i) {
            const double w = agreement.weight[i], t = agreement.t[i] - mid, d = agreement.shift[i];
            sw += w; st += w * t; ss += w * d; stt += w * t * t; sts += w * t * d;
        }
        const double det = sw * stt - st * st;
        if (sw <= 0 || det <= 1e-9)
            break;
        const double slope = (sw * sts - st * ss) / det, intercept = (ss - slope * st) / sw;
        // The point of the crease at the middle of its length, and the new direction.
        const double ca = std::cos(line.angle), sa = std::sin(line.angle);
        const double across = line.offset + intercept;
        const cv::Point2d onCrease(ca * mid - sa * across, sa * mid + ca * across);
        line.angle += std::atan(slope);
        line.offset = -onCrease.x * std::sin(line.angle) + onCrease.y * std::cos(line.angle);
        normalise(line);
    }
    Spread(grey, area, c);
    const Shape& s = c.shape;
    const double strength = std::abs(s.main.height);
    c.found = c.sided && c.spread <= kMaxSpread && strength >= kDetectShare * thr1 && s.main.sigma <= kMaxSigma && s.fit >= kMinFit &&
              c.consistency >= kMinConsistency && c.correlation >= kMinCorrelation &&
              c.variation <= kMaxVariation && s.darkening <= kMaxDarkening && s.step <= kMaxStep * strength + 2;
    return c;
}

// The strongest lines of the reduced departure map, over all directions and
// offsets within `area`: (angle, offset) in the reduced copy's coordinates.
// A line must cross a good part of the area (the user drags the region
// around the crease), and a line with several about as strong beside it in
// the same direction is a pattern of the picture (lines of text, windows,
// tracks), not a crease.
std::vector<Line> CandidateLines(const cv::Mat1f& departure, const cv::Rect& area, const Progress& progress)
{
    struct Peak {
        double score;
        int angle, bin, sign;
    };
    std::vector<Peak> peaks;
    std::vector<std::vector<Peak>> byAngle(kDirections);
    const int diag = static_cast<int>(std::ceil(std::hypot(departure.cols, departure.rows))) + 2;
    std::vector<double> sum(2 * diag + 1);
    std::vector<int> count(2 * diag + 1);
    const int longestChord = static_cast<int>(std::hypot(area.width, area.height));
    const int minCount = std::max(8, static_cast<int>(kMinChord * longestChord));
    std::vector<float> sums(2 * diag + 1);
    for (int i = 0; i < kDirections; ++i) {
        progress.Report(i, kDirections);
        const double angle = CV_PI * i / kDirections;
        const double sa = std::sin(angle), ca = std::cos(angle);
        std::fill(sums.begin(), sums.end(), 0.0f);
        // Offsets in fixed point, 16 bits of fraction: one addition a pixel.
        const int step = static_cast<int>(std::lround(-sa * 65536.0));
        for (int y = area.y; y < area.br().y; ++y) {
            const float* d = departure[y];
            int o = static_cast<int>(std::lround((-area.x * sa + y * ca + diag + 0.5) * 65536.0));
            for (int x = area.x; x < area.br().x; ++x, o += step)
                sums[o >> 16] += d[x];
        }
        // How many pixels each line holds: the length of its chord.
        for (size_t k = 0; k < sum.size(); ++k) {
            sum[k] = sums[k];
            const double off = double(k) - diag;  // the bin's lines, offsets [off, off + 1)
            double t0 = -1e18, t1 = 1e18;
            const double mid = off + 0.5;
            // Points (x, y) = t (cos, sin) + mid (-sin, cos), inside the area's pixel centres.
            const double px = -mid * sa, py = mid * ca;
            for (const auto& [p, v, lo, hi] : {std::tuple<double, double, double, double>(px, ca, area.x - 0.5, area.br().x - 0.5),
                                                std::tuple<double, double, double, double>(py, sa, area.y - 0.5, area.br().y - 0.5)}) {
                if (std::abs(v) < 1e-12) {
                    if (p < lo || p >= hi)
                        t1 = t0 - 1;
                    continue;
                }
                const double a = (lo - p) / v, b2 = (hi - p) / v;
                t0 = std::max(t0, std::min(a, b2));
                t1 = std::min(t1, std::max(a, b2));
            }
            count[k] = t1 > t0 ? static_cast<int>(t1 - t0) : 0;
        }
        std::vector<double> score(sum.size(), 0.0);
        for (size_t k = 0; k < sum.size(); ++k)
            if (count[k] >= minCount)
                score[k] = std::abs(sum[k]) / (count[k] + 20.0);
        // Local maxima across offsets.
        for (int k = 2; k + 2 < int(score.size()); ++k) {
            const double s = score[k];
            if (s <= 0 || s < score[k - 1] || s < score[k + 1] || s < score[k - 2] || s < score[k + 2])
                continue;
            byAngle[i].push_back({s, i, k - diag, sum[k] > 0 ? 1 : -1});
        }
    }
    for (int i = 0; i < kDirections; ++i)
        for (const Peak& p : byAngle[i]) {
            int beside = 0;
            for (const Peak& q : byAngle[i])
                if (q.sign == p.sign && q.score >= kPatternShare * p.score && std::abs(q.bin - p.bin) > 6)
                    ++beside;
            if (beside < kPatternLines)
                peaks.push_back(p);
        }
    std::sort(peaks.begin(), peaks.end(), [](const Peak& a, const Peak& b) { return a.score > b.score; });
    std::vector<Line> lines;
    for (const Peak& p : peaks) {
        const Line line{CV_PI * p.angle / kDirections, double(p.bin)};
        bool duplicate = false;
        for (const Line& l : lines) {
            double da = std::abs(line.angle - l.angle);
            double doff = std::abs(line.offset - l.offset);
            if (da > CV_PI / 2) {  // the same direction, from the other end
                da = CV_PI - da;
                doff = std::abs(line.offset + l.offset);
            }
            if (da < 3 * CV_PI / 180 && doff < 4)
                duplicate = true;
        }
        if (!duplicate)
            lines.push_back(line);
        if (int(lines.size()) >= kCandidates)
            break;
    }
    return lines;
}

}  // namespace

void RemoveCrease(cv::Mat& image, const cv::Rect& requested, double thr1, int q, int n, cv::Mat* creaseMask,
                  const Progress& progress)
{
    CV_Assert(image.type() == CV_8UC3);
    if (creaseMask)
        *creaseMask = cv::Mat::zeros(image.size(), CV_8UC1);
    const cv::Rect region = requested & cv::Rect(0, 0, image.cols, image.rows);
    if (region.width < 3 || region.height < 3) {
        progress.Report(1.0);
        return;
    }
    // Sizes beyond the picture mean the whole picture.
    const int longSide = std::max(image.cols, image.rows);
    q = std::clamp(q, 1, longSide);
    n = std::clamp(n, 1, longSide);
    if (!(thr1 >= 0))
        thr1 = 0;
    const int ringRadius = std::clamp(n / 2, 3, 24);
    const double reach = std::clamp(double(n), 16.0, 48.0);

    // The crease is judged on the pixels beside it too, also outside the
    // region; only the region is changed.
    const int margin = static_cast<int>(reach) + 12;
    const cv::Rect ext = cv::Rect(region.x - margin, region.y - margin, region.width + 2 * margin,
                                  region.height + 2 * margin) & cv::Rect(0, 0, image.cols, image.rows);
    const cv::Rect inner(region.x - ext.x, region.y - ext.y, region.width, region.height);
    cv::Mat grey8;
    cv::cvtColor(image(ext), grey8, cv::COLOR_BGR2GRAY);
    cv::Mat1f grey;
    grey8.convertTo(grey, CV_32F);
    progress.Report(kGreyDone);

    // The search, on a reduced copy of the region: each pixel's departure
    // from the median around it (a thin line is a small part of its
    // surroundings), clipped; pixels darker than half their surroundings
    // are ink, not a crease, and count for nothing.
    const double factor = std::max(1.0, std::max(region.width, region.height) / double(kDetectionSide));
    cv::Mat small8;
    if (factor > 1.0)
        cv::resize(grey8(inner), small8, cv::Size(), 1.0 / factor, 1.0 / factor, cv::INTER_AREA);
    else
        small8 = grey8(inner).clone();
    grey8.release();
    const int radius = std::max(3, cvRound(ringRadius / factor));
    cv::Mat median8;
    cv::medianBlur(small8, median8, 2 * radius + 1);
    cv::Mat1f small, median, departure;
    small8.convertTo(small, CV_32F);
    median8.convertTo(median, CV_32F);
    departure = small - median;
    departure.setTo(0, small < median * (1 - kMaxDarkening));
    // A little blur across makes the search forgiving of its direction steps.
    cv::GaussianBlur(departure, departure, cv::Size(), 0.8);
    const float clip = static_cast<float>(std::max(3.0, 0.6 * thr1));
    cv::min(departure, clip, departure);
    cv::max(departure, -clip, departure);
    const std::vector<Line> candidates = CandidateLines(departure, cv::Rect(0, 0, small.cols, small.rows),
                                                        progress.Sub(kGreyDone, kSearchDone));
    small.release();
    median.release();
    departure.release();

    // Each candidate at full size; the clearest crease is taken.
    Crease chosen;
    std::vector<Line> seen;
    const Progress examining = progress.Sub(kSearchDone, kExamineDone);
    for (size_t i = 0; i < candidates.size(); ++i) {
        examining.Report(static_cast<long long>(i), static_cast<long long>(candidates.size()));
        Line line = candidates[i];
        // The reduced copy's pixel centres, at full size, in the widened area.
        const double shift = 0.5 * (factor - 1);
        const double sa = std::sin(line.angle), ca = std::cos(line.angle);
        line.offset = line.offset * factor + (-shift * sa + shift * ca) + (-inner.x * sa + inner.y * ca);
        const Crease c = Examine(grey, inner, line, 2 * factor + 4, reach, thr1, seen);
        if (c.found && (!chosen.found || c.Score() > chosen.Score()))
            chosen = c;
    }
    if (!chosen.found) {
        progress.Report(1.0);
        return;
    }
    progress.Report(kExamineDone);

    // The crease's strength along its length: on moving averages of Q
    // pixels along it, the departure across it fitted to its shape.
    const Shape& shape = chosen.shape;
    const Line line = chosen.line;
    const Samples near = Gather(grey, inner, line, reach);
    const double loOff = shape.Lo(), hiOff = shape.Hi();
    const int first = static_cast<int>(std::floor(near.tMin));
    const int positions = static_cast<int>(std::ceil(near.tMax)) - first + 1;
    const int across = 2 * static_cast<int>(std::ceil(reach)) + 1, mid = across / 2;
    std::vector<double> sum(size_t(positions) * across, 0.0), count(size_t(positions) * across, 0.0);
    for (size_t i = 0; i < near.v.size(); ++i) {
        const int ti = static_cast<int>(std::lround(near.t[i])) - first;
        const int oi = static_cast<int>(std::lround(near.o[i])) + mid;
        if (ti < 0 || ti >= positions || oi < 0 || oi >= across)
            continue;
        sum[size_t(ti) * across + oi] += near.v[i];
        count[size_t(ti) * across + oi] += 1;
    }
    // Running sums along the crease, for moving averages.
    for (int ti = 1; ti < positions; ++ti)
        for (int oi = 0; oi < across; ++oi) {
            sum[size_t(ti) * across + oi] += sum[size_t(ti - 1) * across + oi];
            count[size_t(ti) * across + oi] += count[size_t(ti - 1) * across + oi];
        }
    auto windowMean = [&](int from, int to, int oi) {
        from = std::max(from, 0);
        to = std::min(to, positions - 1);
        if (oi < 0 || oi >= across || to < from)
            return kNaN;
        const double s = sum[size_t(to) * across + oi] - (from > 0 ? sum[size_t(from - 1) * across + oi] : 0.0);
        const double c = count[size_t(to) * across + oi] - (from > 0 ? count[size_t(from - 1) * across + oi] : 0.0);
        return c > 0 ? s / c : kNaN;
    };
    // The shape per whole-pixel offset: a ridge's added light (levels) and a
    // shadow's share of the baseline taken away.
    const int oLo = static_cast<int>(std::floor(loOff)), oHi = static_cast<int>(std::ceil(hiOff));
    auto ridgeAt = [&](int o) { return std::max(0.0, shape.At(o)); };
    auto shadowAt = [&](int o) { return std::max(0.0, -shape.At(o)) / std::max(1.0, shape.Base(o)); };
    const int halfQ = std::max(1, q / 2);
    std::vector<double> strength(positions, 0.0), weight(positions, 0.0);
    for (int ti = 0; ti < positions; ++ti) {
        // The baseline of this stretch, straight between the two sides.
        double l = 0, r = 0;
        int nl = 0, nr = 0;
        for (int o = oLo - 4; o < oLo; ++o) {
            const double m = windowMean(ti - halfQ, ti + halfQ, o + mid);
            if (!std::isnan(m)) { l += m; ++nl; }
        }
        for (int o = oHi + 1; o <= oHi + 4; ++o) {
            const double m = windowMean(ti - halfQ, ti + halfQ, o + mid);
            if (!std::isnan(m)) { r += m; ++nr; }
        }
        if (!nl || !nr)
            continue;
        l /= nl;
        r /= nr;
        const double lPos = oLo - 2.5, rPos = oHi + 2.5;
        double num = 0, den = 0;
        for (int o = oLo; o <= oHi; ++o) {
            const double m = windowMean(ti - halfQ, ti + halfQ, o + mid);
            if (std::isnan(m))
                continue;
            const double b = l + (r - l) * (o - lPos) / (rPos - lPos);
            const double expected = ridgeAt(o) - shadowAt(o) * b;
            num += (m - b) * expected;
            den += expected * expected;
        }
        if (den > 0) {
            strength[ti] = num / den;
            weight[ti] = den;
        }
    }
    // Smoothed over a few Q along the crease: the texture beneath weighs
    // less over a longer stretch.
    std::vector<double> smooth(positions, 0.0);
    {
        std::vector<double> cs(positions + 1, 0.0), cw(positions + 1, 0.0);
        for (int ti = 0; ti < positions; ++ti) {
            cs[ti + 1] = cs[ti] + strength[ti] * weight[ti];
            cw[ti + 1] = cw[ti] + weight[ti];
        }
        for (int ti = 0; ti < positions; ++ti) {
            const int a = std::max(0, ti - q), b = std::min(positions, ti + q + 1);
            const double w = cw[b] - cw[a];
            double s = w > 0 ? (cs[b] - cs[a]) / w : 0.0;
            s = std::min(s, kMaxStrength);
            if (s < kMinStrength || s * std::abs(shape.main.height) < kDetectShare * thr1)
                s = 0;
            smooth[ti] = s;
        }
    }

    // The correction, pixel by pixel, inside the region only.
    cv::Mat found = cv::Mat::zeros(region.size(), CV_8UC1);
    const double sa = std::sin(line.angle), ca = std::cos(line.angle);
    for (int y = 0; y < region.height; ++y) {
        cv::Vec3b* px = image.ptr<cv::Vec3b>(region.y + y) + region.x;
        uchar* f = found.ptr<uchar>(y);
        const double ey = y + inner.y;
        for (int x = 0; x < region.width; ++x) {
            const double ex = x + inner.x;
            const double o = -ex * sa + ey * ca - line.offset;
            if (o < loOff || o > hiOff)
                continue;
            const int ti = static_cast<int>(std::lround(ex * ca + ey * sa)) - first;
            if (ti < 0 || ti >= positions || smooth[ti] <= 0)
                continue;
            const double a = smooth[ti], d = shape.At(o);
            const double b = std::max(1.0, shape.Base(o));
            bool changed = false;
            for (int k = 0; k < 3; ++k) {
                double v = px[x][k];
                if (d > 0)
                    v -= a * d;
                else
                    v /= 1.0 - std::min(kMaxShadow, a * (-d / b));
                const uchar nv = cv::saturate_cast<uchar>(v);
                changed |= nv != px[x][k];
                px[x][k] = nv;
            }
            if (changed)
                f[x] = 255;
        }
    }
    if (creaseMask)
        found.copyTo((*creaseMask)(region));
    progress.Report(1.0);
}

}  // namespace veltro
