// Crease removal. A crease is a thin straight line of abnormal brightness (a
// light ridge, a dark shadow, or both), running across the region the user
// dragged, near one of its diagonals. It is found as the line whose mean
// brightness departs most from the mean of the lines N/2 pixels to either
// side of it: a step edge of the picture does not, a thin line does. Its
// shape across is fitted, on the mean of each line over the crease's length,
// as a thin bump (a ridge or a shadow) with at most one thin bump of the
// opposite sign beside it, on a straight baseline; following that shape
// along the crease corrects its direction and position, and tells a crease
// (thin, matching its shape all along) from a ledge or a border. Across the
// crease, the local mean is a moving average of Q pixels along it; the
// shape's amplitude is fitted to it over a few Q along the crease, and where
// the crease departs by more than THR1 grey levels the fitted shape is
// subtracted from the picture. The texture beneath stays.

#include "engine/Restoration.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <iterator>
#include <cmath>
#include <functional>
#include <limits>

namespace veltro {

namespace {

constexpr int kDirections = 360;      // directions tried over 180 degrees
constexpr int kDetectionSide = 768;   // coarse search on a copy this large
constexpr double kWidths[] = {0.75, 1.0, 1.5, 2.0, 2.5, 3.0, 4.0};  // widths of a ridge or shadow tried, pixels
constexpr double kMinConsistency = 0.3;  // how well the crease must match its shape along its length
constexpr int kAmplitudeReach = 4;      // the crease's strength is fitted over this many times Q on either side
constexpr double kMinAmplitude = 0.25;  // share of the crease's mean strength below which a stretch is left alone
constexpr double kMaxAmplitude = 1.5;   // most the crease's strength is taken to exceed its mean
constexpr double kCentreReach = 0.25;    // share of the region's shorter side the crease may miss its centre by
constexpr double kDiagonalTolerance = 12 * CV_PI / 180;  // crease direction versus the region's diagonals
// Where each stage ends, as a share of the time of the whole removal.
constexpr double kGreyDone = 0.18;      // the grey copy and its reduction
constexpr double kSearchDone = 0.85;    // the candidate lines near both diagonals
constexpr double kCoarseShare = 0.15;   //   of each: the coarse search
constexpr double kFollowDone = 0.93;    // each candidate followed along its length
constexpr double kAverageDone = 0.96;   // the moving average along the crease
constexpr double kProfileDone = 0.98;   // the crease's profile and strength

struct LineFit {
    double angle = 0;            // direction of the line, radians
    int offset = 0;              // signed distance from the origin, pixels
    double departure = 0;        // mean departure from the lines beside it
    std::vector<double> mean;    // mean departure per offset (index + first)
    int first = 0;
};

double Offset(double x, double y, double angle) { return -x * std::sin(angle) + y * std::cos(angle); }

float Bilinear(const cv::Mat1f& m, double x, double y)
{
    x = std::min(std::max(x, 0.0), m.cols - 1.001);
    y = std::min(std::max(y, 0.0), m.rows - 1.001);
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const float fx = float(x - x0), fy = float(y - y0);
    return (m(y0, x0) * (1 - fx) + m(y0, x0 + 1) * fx) * (1 - fy) +
           (m(y0 + 1, x0) * (1 - fx) + m(y0 + 1, x0 + 1) * fx) * fy;
}

// The line (direction in [from, to), offset within `reach` of `around`)
// along which the pixels depart most, on average, from the pixels `side`
// away on both sides. Each pixel's departure is clipped to `clip`, so that
// a short stretch of strong picture structure cannot outweigh a faint line
// that runs all the way.
LineFit BestLine(const cv::Mat1f& grey, const cv::Rect& area, double from, double to, double step,
                 double around, double reach, int side, float clip, const Progress& progress)
{
    LineFit best;
    best.departure = -1;
    const int diag = static_cast<int>(std::ceil(std::hypot(grey.cols, grey.rows))) + 2;
    std::vector<double> sum(2 * diag + 1), count(2 * diag + 1);
    for (double angle = from; angle < to; angle += step) {
        progress.Report((angle - from) / (to - from));
        std::fill(sum.begin(), sum.end(), 0.0);
        std::fill(count.begin(), count.end(), 0.0);
        const double nx = -std::sin(angle) * side, ny = std::cos(angle) * side;
        for (int y = area.y; y < area.br().y; ++y) {
            const float* g = grey[y];
            for (int x = area.x; x < area.br().x; ++x) {
                const double offset = Offset(x, y, angle);
                if (std::abs(offset - around) > reach + 2 * side)
                    continue;
                const float d = g[x] - 0.5f * (Bilinear(grey, x - nx, y - ny) + Bilinear(grey, x + nx, y + ny));
                const int o = cvRound(offset) + diag;
                sum[o] += std::max(-clip, std::min(clip, d));
                count[o] += 1;
            }
        }
        const double longest = *std::max_element(count.begin(), count.end());
        for (int o = 0; o < int(sum.size()); ++o) {
            if (count[o] < 0.5 * longest || count[o] < 3 || std::abs(o - diag - around) > reach)
                continue;
            const double m = sum[o] / count[o];
            if (std::abs(m) > best.departure) {
                best.departure = std::abs(m);
                best.angle = angle;
                best.offset = o - diag;
                best.first = std::max(0, o - 2 * side) - diag;
                best.mean.clear();
                for (int k = std::max(0, o - 2 * side); k <= std::min(int(sum.size()) - 1, o + 2 * side); ++k)
                    best.mean.push_back(count[k] > 0 ? sum[k] / count[k] : 0.0);
            }
        }
    }
    return best;
}

// The coarse direction and offset: on a reduced copy, every pixel's
// departure from the ring of radius `side` around it (a thin line departs
// from nearly all of its ring), clipped; then the line of pixels with the
// largest mean departure.
LineFit CoarseLine(const cv::Mat1f& grey, const cv::Rect& area, int side, float clip,
                   const std::function<double(double, double)>& plausible, const Progress& progress)
{
    cv::Mat1f ring(2 * side + 1, 2 * side + 1, 0.0f);
    cv::circle(ring, cv::Point(side, side), side, cv::Scalar(1.0), 1, cv::LINE_AA);
    ring /= cv::sum(ring)[0];
    cv::Mat1f around, departure;
    cv::filter2D(grey, around, CV_32F, ring, cv::Point(-1, -1), 0, cv::BORDER_REFLECT);
    departure = grey - around;
    cv::min(departure, clip, departure);
    cv::max(departure, -clip, departure);

    LineFit best;
    best.departure = -1;
    const int diag = static_cast<int>(std::ceil(std::hypot(grey.cols, grey.rows))) + 2;
    std::vector<double> sum(2 * diag + 1), count(2 * diag + 1);
    for (int i = 0; i < kDirections; ++i) {
        progress.Report(i, kDirections);
        const double angle = CV_PI * i / kDirections;
        if (plausible(angle, std::numeric_limits<double>::quiet_NaN()) <= 0)
            continue;
        std::fill(sum.begin(), sum.end(), 0.0);
        std::fill(count.begin(), count.end(), 0.0);
        const double sa = std::sin(angle), ca = std::cos(angle);
        for (int y = area.y; y < area.br().y; ++y) {
            const float* d = departure[y];
            for (int x = area.x; x < area.br().x; ++x) {
                const int o = cvRound(-x * sa + y * ca) + diag;
                sum[o] += d[x];
                count[o] += 1;
            }
        }
        const double longest = *std::max_element(count.begin(), count.end());
        auto usable = [&](int o) { return o >= 0 && o < int(sum.size()) && count[o] >= 0.5 * longest && count[o] >= 3; };
        for (int o = 0; o < int(sum.size()); ++o) {
            if (!usable(o) || !usable(o - side) || !usable(o + side))
                continue;
            const double score = std::abs(sum[o] / count[o]) * plausible(angle, o - diag);
            if (score > best.departure) {
                best.departure = score;
                best.angle = angle;
                best.offset = o - diag;
            }
        }
    }
    return best;
}

// A normalised line of `length` pixels through the centre, at `angle`.
cv::Mat LineKernel(int length, double angle)
{
    const int side = length | 1;
    cv::Mat1f kernel(side, side, 0.0f);
    const double c = std::cos(angle) * (length - 1) / 2.0, s = std::sin(angle) * (length - 1) / 2.0;
    const double centre = (side - 1) / 2.0;
    // Sampled densely and bilinearly, so every direction weighs the same.
    const int samples = 4 * side;
    for (int i = 0; i <= samples; ++i) {
        const double t = -1.0 + 2.0 * i / samples;
        const double x = centre + t * c, y = centre + t * s;
        const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
        const double fx = x - x0, fy = y - y0;
        for (int dy = 0; dy <= 1; ++dy)
            for (int dx = 0; dx <= 1; ++dx) {
                const int xx = x0 + dx, yy = y0 + dy;
                if (xx >= 0 && yy >= 0 && xx < side && yy < side)
                    kernel(yy, xx) += float((dx ? fx : 1 - fx) * (dy ? fy : 1 - fy));
            }
    }
    kernel /= cv::sum(kernel)[0];
    return kernel;
}

}  // namespace

void RemoveCrease(cv::Mat& image, const cv::Rect& requested, double thr1, int q, int n, cv::Mat* creaseMask,
                  const Progress& progress)
{
    CV_Assert(image.type() == CV_8UC3);
    if (creaseMask)
        *creaseMask = cv::Mat::zeros(image.size(), CV_8UC1);
    const cv::Rect region = requested & cv::Rect(0, 0, image.cols, image.rows);
    if (region.empty()) {
        progress.Report(1.0);
        return;
    }
    const int longSide = std::max(image.cols, image.rows);
    q = std::max(1, std::min(q, longSide));
    const int side = std::max(2, std::min(n, longSide) / 2);  // reach of the structure filter
    const int margin = std::max(q, 2 * side) + 2;
    const cv::Rect ext = cv::Rect(region.x - margin, region.y - margin, region.width + 2 * margin,
                                  region.height + 2 * margin) & cv::Rect(0, 0, image.cols, image.rows);
    const cv::Rect inner(region.x - ext.x, region.y - ext.y, region.width, region.height);

    cv::Mat grey8;
    cv::cvtColor(image(ext), grey8, cv::COLOR_BGR2GRAY);
    cv::Mat1f grey;
    grey8.convertTo(grey, CV_32F);
    grey8.release();

    // Coarse search on a reduced copy, then refined at full size.
    const double factor = std::max(1.0, std::max(ext.width, ext.height) / double(kDetectionSide));
    cv::Mat1f small;
    if (factor > 1.0)
        cv::resize(grey, small, cv::Size(), 1.0 / factor, 1.0 / factor, cv::INTER_AREA);
    else
        small = grey;
    const cv::Rect smallInner = cv::Rect(cvRound(inner.x / factor), cvRound(inner.y / factor),
                                         std::max(1, cvRound(inner.width / factor)),
                                         std::max(1, cvRound(inner.height / factor))) &
                                cv::Rect(0, 0, small.cols, small.rows);
    const double step = CV_PI / kDirections;
    const float clip = static_cast<float>(std::max(5.0, 2 * thr1));
    // The user drags the region from one end of the crease to the other, so
    // the crease runs near one of the region's diagonals (for a crease along
    // a picture axis, the region is thin and its diagonals lie along it).
    const double diagonal1 = std::atan2(double(region.height), double(region.width));
    const double diagonal2 = CV_PI - diagonal1;
    // It also passes near the region's centre.
    const cv::Point2d smallCentre(smallInner.x + smallInner.width / 2.0, smallInner.y + smallInner.height / 2.0);
    const double centreReach = (kCentreReach * std::min(inner.width, inner.height) + 8) / factor;
    // Lines far from where the crease is expected count for less, and lines
    // too far not at all.
    auto plausible = [&](double angle, double offset) {
        double weight = 1.0;
        if (!std::isnan(offset)) {
            const double miss = std::abs(offset - Offset(smallCentre.x, smallCentre.y, angle)) / centreReach;
            if (miss > 1)
                return 0.0;
            weight *= 1 - 0.5 * miss * miss;
        }
        double best = CV_PI;
        for (double d : {diagonal1, diagonal2}) {
            double diff = std::fmod(std::abs(angle - d), CV_PI);
            best = std::min({best, diff, CV_PI - diff});
        }
        if (best > kDiagonalTolerance)
            return 0.0;
        return weight * (1 - 0.5 * (best / kDiagonalTolerance) * (best / kDiagonalTolerance));
    };
    // The best line near each diagonal is a candidate; the one that looks
    // most like a crease all along its length is taken.
    std::vector<LineFit> candidates;
    progress.Report(kGreyDone);
    const Progress searching = progress.Sub(kGreyDone, kSearchDone);
    for (int wanted = 0; wanted < 2; ++wanted) {
        const Progress search = searching.Part(wanted, 2);
        const double wantedDiagonal = wanted ? diagonal2 : diagonal1, otherDiagonal = wanted ? diagonal1 : diagonal2;
        auto near = [&](double angle, double offset) {
            auto apart = [&](double d) {
                const double diff = std::fmod(std::abs(angle - d), CV_PI);
                return std::min(diff, CV_PI - diff);
            };
            if (apart(wantedDiagonal) > apart(otherDiagonal))
                return 0.0;
            return plausible(angle, offset);
        };
        const LineFit coarse = CoarseLine(small, smallInner, std::max(3, cvRound(side / factor)), clip, near,
                                          search.Sub(0.0, kCoarseShare));
        if (coarse.departure <= 0)
            continue;
        LineFit fine = BestLine(grey, inner, coarse.angle - 1.5 * step, coarse.angle + 1.5 * step, step / 8,
                                coarse.offset * factor, 2 * factor + 6, side, clip, search.Sub(kCoarseShare, 1.0));
        // A clean picture has lines too, but seldom one departing by THR1
        // all along its length.
        if (!fine.mean.empty() && fine.departure >= 0.5 * thr1)
            candidates.push_back(std::move(fine));
    }
    if (candidates.empty()) {
        progress.Report(1.0);
        return;
    }
    progress.Report(kSearchDone);

    // The crease's shape across it. The mean brightness of each line near
    // the one found, over the whole region (the picture's texture averages
    // out along the crease), is fitted with a thin light or dark line, a
    // second thin line of either sign beside it (a ridge and its shadow),
    // and a straight baseline for the picture's own gradient. The shape is
    // the two thin lines; the crease spans the lines where it departs.
    const int reach = std::max(12, 2 * side), wide = 2 * reach + 1;
    struct Bump {
        double centre, width;
        std::vector<double> value;
    };
    std::vector<Bump> bumps;
    for (double width : kWidths)
        for (double c = -reach / 2.0; c <= reach / 2.0; c += 0.5) {
            Bump bump{c, width, std::vector<double>(wide)};
            for (int k = 0; k < wide; ++k) {
                const double u = (k - reach - c) / width;
                bump.value[k] = std::exp(-0.5 * u * u);
            }
            bumps.push_back(std::move(bump));
        }
    struct ShapeFit {
        double amp1 = 0, amp2 = 0, residual = std::numeric_limits<double>::max();
        const Bump* first = nullptr;
        const Bump* second = nullptr;
    };
    // The mean brightness per line, offsets base - reach to base + reach,
    // over the pixels of the region whose position along the line lies in
    // [from, to).
    auto lineMeans = [&](double angle, double base, double from, double to) {
        std::vector<double> sum(wide, 0.0), count(wide, 0.0);
        const double ca = std::cos(angle), sa = std::sin(angle);
        for (int y = 0; y < inner.height; ++y) {
            // Only the pixels within reach of the line.
            const double ey0 = inner.y + y, rel = ey0 * ca - base;
            int x0 = 0, x1 = inner.width;
            if (std::abs(sa) > 1e-9) {
                const double a = (rel - reach - 1) / sa - inner.x, b = (rel + reach + 1) / sa - inner.x;
                x0 = std::max(0, static_cast<int>(std::floor(std::min(a, b))));
                x1 = std::min(inner.width, static_cast<int>(std::ceil(std::max(a, b))) + 1);
            } else if (std::abs(rel) > reach + 1) {
                continue;
            }
            for (int x = x0; x < x1; ++x) {
                const double ex = inner.x + x, ey = ey0;
                const double along = ex * ca + ey * sa;
                if (along < from || along >= to)
                    continue;
                const int k = cvRound(Offset(ex, ey, angle) - base) + reach;
                if (k < 0 || k >= wide)
                    continue;
                sum[k] += grey(inner.y + y, inner.x + x);
                count[k] += 1;
            }
        }
        for (int k = 0; k < wide; ++k)
            sum[k] = count[k] > 0 ? sum[k] / count[k] : std::numeric_limits<double>::quiet_NaN();
        return sum;
    };
    auto fitShape = [&](const std::vector<double>& mean) {
        ShapeFit best;
        for (const Bump& b1 : bumps) {
            if (std::abs(b1.centre) > 4)
                continue;
            for (const Bump& b2 : bumps) {
                if (std::abs(b2.centre - b1.centre) < b1.width + b2.width)
                    continue;
                cv::Matx44d m = cv::Matx44d::zeros();
                cv::Vec4d v(0, 0, 0, 0);
                for (int k = 0; k < wide; ++k) {
                    if (std::isnan(mean[k]))
                        continue;
                    const cv::Vec4d f(b1.value[k], b2.value[k], 1.0, (k - reach) / double(reach));
                    for (int i = 0; i < 4; ++i) {
                        v[i] += f[i] * mean[k];
                        for (int j = 0; j < 4; ++j)
                            m(i, j) += f[i] * f[j];
                    }
                }
                cv::Vec4d sol;
                if (!cv::solve(m, v, sol, cv::DECOMP_CHOLESKY))
                    continue;
                // A ridge and a shadow have opposite signs; two bumps of one
                // sign are picture structure.
                if (sol[0] * sol[1] > 0)
                    continue;
                double residual = 0;
                for (int k = 0; k < wide; ++k) {
                    if (std::isnan(mean[k]))
                        continue;
                    const double e = mean[k] - (sol[0] * b1.value[k] + sol[1] * b2.value[k] + sol[2] +
                                                sol[3] * (k - reach) / double(reach));
                    residual += e * e;
                }
                if (residual < best.residual) {
                    best.residual = residual;
                    best.amp1 = sol[0];
                    best.amp2 = sol[1];
                    best.first = &b1;
                    best.second = &b2;
                }
            }
        }
        return best;
    };
    // The shape of the crease, relative to the line base.
    auto shapeRel = [&](const ShapeFit& f, double d) {
        const double u1 = (d - f.first->centre) / f.first->width;
        const double u2 = (d - f.second->centre) / f.second->width;
        return f.amp1 * std::exp(-0.5 * u1 * u1) + f.amp2 * std::exp(-0.5 * u2 * u2);
    };
    // Follow the crease along its length: in each stretch, the shift across
    // that best matches the shape; a straight line through the stretches'
    // positions corrects the direction and position found. How well the
    // stretches match the shape, all along, tells a crease from picture
    // structure that only partly looks like one.
    struct Candidate {
        double angle = 0, base = 0, consistency = -1;
        ShapeFit fit;
    };
    auto follow = [&](const LineFit& start, const Progress& following) {
        Candidate result;
        double angle = start.angle, base = start.offset;
        ShapeFit fit = fitShape(lineMeans(angle, base, -1e9, 1e9));
        if (!fit.first)
            return result;
        double lenFrom = std::numeric_limits<double>::max(), lenTo = -lenFrom;
        for (const cv::Point2d corner : {cv::Point2d(inner.x, inner.y), cv::Point2d(inner.br().x, inner.y),
                                         cv::Point2d(inner.x, inner.br().y), cv::Point2d(inner.br().x, inner.br().y)}) {
            const double along = corner.x * std::cos(angle) + corner.y * std::sin(angle);
            lenFrom = std::min(lenFrom, along);
            lenTo = std::max(lenTo, along);
        }
        constexpr int kStretches = 8;
        constexpr int kShift = 5;
        double consistency = 0;
        for (int pass = 0; pass < 3; ++pass) {
            following.Report(pass, 3);
            double sw = 0, st = 0, ss = 0, stt = 0, sts = 0;
            consistency = 0;
            const double ca = std::cos(angle), sa = std::sin(angle);
            for (int i = 0; i < kStretches; ++i) {
                const double from = lenFrom + (lenTo - lenFrom) * i / kStretches;
                const double to = lenFrom + (lenTo - lenFrom) * (i + 1) / kStretches;
                const std::vector<double> mean = lineMeans(angle, base, from, to);
                std::vector<double> score(2 * kShift + 1, -1.0);
                for (int d = -kShift; d <= kShift; ++d) {
                    double sm = 0, sx = 0, sxx = 0, sxy = 0, sy = 0, syy = 0;
                    for (int k = 0; k < wide; ++k) {
                        if (std::isnan(mean[k]))
                            continue;
                        const double xv = shapeRel(fit, k - reach - d);
                        sm += 1; sx += xv; sy += mean[k]; sxx += xv * xv; sxy += xv * mean[k]; syy += mean[k] * mean[k];
                    }
                    if (sm < wide / 2.0)
                        continue;
                    const double cov = sxy - sx * sy / sm, vx = sxx - sx * sx / sm, vy = syy - sy * sy / sm;
                    if (vx > 0 && vy > 0)
                        score[d + kShift] = cov / std::sqrt(vx * vy);
                }
                const int bestShift = int(std::max_element(score.begin(), score.end()) - score.begin());
                const double c0 = score[bestShift];
                consistency += std::max(0.0, c0) / kStretches;
                if (c0 < 0.5)
                    continue;
                double shift = bestShift - kShift;
                if (bestShift > 0 && bestShift < 2 * kShift) {
                    const double l = score[bestShift - 1], r = score[bestShift + 1], den = l - 2 * c0 + r;
                    if (den < 0)
                        shift += 0.5 * (l - r) / den;
                }
                const double t = 0.5 * (from + to) - 0.5 * (lenFrom + lenTo), w = c0 * c0;
                sw += w; st += w * t; ss += w * shift; stt += w * t * t; sts += w * t * shift;
            }
            const double det = sw * stt - st * st;
            if (pass == 2 || sw <= 0 || det <= 1e-9)
                break;
            const double slope = (sw * sts - st * ss) / det;
            const double intercept = (ss - slope * st) / sw;
            // Offsets along the new direction: the point on the crease at the
            // middle of its length, and the new angle.
            const double mid = 0.5 * (lenFrom + lenTo);
            const cv::Point2d onCrease = cv::Point2d(ca, sa) * mid + cv::Point2d(-sa, ca) * (base + intercept);
            angle += std::atan(slope);
            base = Offset(onCrease.x, onCrease.y, angle);
            fit = fitShape(lineMeans(angle, base, -1e9, 1e9));
            if (!fit.first)
                return result;
        }
        result.angle = angle;
        result.base = base;
        result.fit = fit;
        result.consistency = consistency;
        return result;
    };
    Candidate chosen;
    const Progress following = progress.Sub(kSearchDone, kFollowDone);
    for (size_t i = 0; i < candidates.size(); ++i) {
        const Candidate c = follow(candidates[i], following.Part(int(i), int(candidates.size())));
        if (!c.fit.first || c.consistency < kMinConsistency)
            continue;
        // A crease is thin: a line whose main bump is as wide as the widest
        // tried is the border of something wider.
        const Bump& main = std::abs(c.fit.amp1) >= std::abs(c.fit.amp2) ? *c.fit.first : *c.fit.second;
        if (main.width >= kWidths[std::size(kWidths) - 1])
            continue;
        if (c.consistency > chosen.consistency)
            chosen = c;
    }
    if (!chosen.fit.first) {
        progress.Report(1.0);
        return;
    }
    progress.Report(kFollowDone);
    const double angle = chosen.angle, base = chosen.base;
    const ShapeFit& fit = chosen.fit;
    const double nx = -std::sin(angle), ny = std::cos(angle);  // offset grows along (nx, ny)
    const double tx = std::cos(angle), ty = std::sin(angle);   // along the crease
    auto model = [&](double o) { return shapeRel(fit, o - base); };
    int lo = cvRound(base), hi = cvRound(base);
    for (int o = cvRound(base) - reach; o <= cvRound(base) + reach; ++o)
        if (std::abs(model(o)) > 0.25) {
            lo = std::min(lo, o);
            hi = std::max(hi, o);
        }
    const int bins = hi - lo + 5;  // offsets lo - 2 to hi + 2
    std::vector<double> shape(bins, 0.0);
    double peak = 0, shapeEnergy = 0;
    for (int k = 2; k < bins - 2; ++k) {
        shape[k] = model(k + lo - 2);
        peak = std::max(peak, std::abs(shape[k]));
        shapeEnergy += shape[k] * shape[k];
    }
    auto shapeAt = [&](double o) { return o < lo || o > hi ? 0.0 : model(o); };
    if (peak < thr1 || shapeEnergy <= 0) {
        progress.Report(1.0);
        return;
    }

    // How strong the crease is along its length: the local profile (moving
    // average of Q pixels along the crease, less the local means just
    // outside it) fitted to the shape, position by position. Where the crease
    // fades out, nothing is changed.
    cv::Mat1f average;
    cv::filter2D(grey, average, CV_32F, LineKernel(q, angle), cv::Point(-1, -1), 0, cv::BORDER_REFLECT);
    grey.release();
    progress.Report(kAverageDone);
    const Progress profiling = progress.Sub(kAverageDone, kProfileDone);
    const int diag = static_cast<int>(std::ceil(std::hypot(ext.width, ext.height))) + 2;
    std::vector<double> fitNum(2 * diag + 1, 0.0), fitDen(2 * diag + 1, 0.0);
    cv::Mat band = cv::Mat::zeros(inner.size(), CV_8UC1);
    cv::Mat1f local(inner.size(), 0.0f);
    for (int y = 0; y < inner.height; ++y) {
        profiling.Report(y, inner.height);
        for (int x = 0; x < inner.width; ++x) {
            const int ex = inner.x + x, ey = inner.y + y;
            const double o = Offset(ex, ey, angle);
            if (o < lo || o > hi)
                continue;
            const double toLo = (lo - 1) - o, toHi = (hi + 1) - o;
            const float a = Bilinear(average, ex + toLo * nx, ey + toLo * ny);
            const float b = Bilinear(average, ex + toHi * nx, ey + toHi * ny);
            const double t = (o - (lo - 1)) / double(hi - lo + 2);
            const double p = average(ey, ex) - (a + t * (b - a));
            const double sh = shapeAt(o);
            const int along = cvRound(ex * tx + ey * ty) + diag;
            fitNum[along] += p * sh;
            fitDen[along] += sh * sh;
            local(y, x) = float(p);
            band.at<uchar>(y, x) = 255;
        }
    }
    average.release();
    progress.Report(kProfileDone);
    // Amplitude per position along the crease, fitted over 2 * kAmplitudeReach
    // * Q positions around it (the picture's texture beneath outweighs the
    // crease over shorter stretches); kept where the crease is there at a
    // good share of its strength and departs by more than THR1.
    const int positions = 2 * diag + 1, halfWindow = std::max(1, kAmplitudeReach * q);
    std::vector<double> amplitude(positions, 0.0);
    std::vector<uchar> crease(positions, 0);
    for (int i = 0; i < positions; ++i) {
        double num = 0, den = 0;
        for (int j = std::max(0, i - halfWindow); j <= std::min(positions - 1, i + halfWindow); ++j) {
            num += fitNum[j];
            den += fitDen[j];
        }
        if (den <= 0)
            continue;
        const double a = std::min(kMaxAmplitude, num / den);
        amplitude[i] = a;
        crease[i] = a > kMinAmplitude && a * peak > thr1;
    }

    cv::Mat found = cv::Mat::zeros(inner.size(), CV_8UC1);
    const Progress correcting = progress.Sub(kProfileDone, 1.0);
    for (int y = 0; y < inner.height; ++y) {
        correcting.Report(y, inner.height);
        cv::Vec3b* px = image.ptr<cv::Vec3b>(region.y + y) + region.x;
        const uchar* bd = band.ptr<uchar>(y);
        for (int x = 0; x < inner.width; ++x) {
            if (!bd[x])
                continue;
            const int ex = inner.x + x, ey = inner.y + y;
            const int along = cvRound(ex * tx + ey * ty) + diag;
            if (!crease[along])
                continue;
            const double correction = amplitude[along] * shapeAt(Offset(ex, ey, angle));
            for (int c = 0; c < 3; ++c)
                px[x][c] = cv::saturate_cast<uchar>(px[x][c] - correction);
            found.at<uchar>(y, x) = 255;
        }
    }
    if (creaseMask)
        found.copyTo((*creaseMask)(region));
}

}  // namespace veltro
