// Crease removal. A crease is a thin straight line of abnormal brightness (a
// light ridge, a dark shadow, or both), running across the region the user
// dragged, near one of its diagonals. It is found as the line whose mean
// brightness departs most from the mean of the lines N/2 pixels to either
// side of it: a step edge of the picture does not, a thin line does. Across
// the crease, the local mean is a moving average of Q pixels along it; the
// crease's profile is that mean minus the mean just outside the crease on
// both sides, and where it departs by more than THR1 grey levels it is
// subtracted from the picture. The texture beneath stays.

#include "engine/Restoration.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace veltro {

namespace {

constexpr int kDirections = 360;      // directions tried over 180 degrees
constexpr int kDetectionSide = 768;   // coarse search on a copy this large
constexpr double kBandShare = 0.2;     // share of the peak that still belongs to the crease across it
constexpr double kMinExplained = 0.5;  // share of the local profile the crease's shape must explain
constexpr double kCentreReach = 0.25;    // share of the region's shorter side the crease may miss its centre by
constexpr double kDiagonalTolerance = 12 * CV_PI / 180;  // crease direction versus the region's diagonals

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
                 double around, double reach, int side, float clip)
{
    LineFit best;
    best.departure = -1;
    const int diag = static_cast<int>(std::ceil(std::hypot(grey.cols, grey.rows))) + 2;
    std::vector<double> sum(2 * diag + 1), count(2 * diag + 1);
    for (double angle = from; angle < to; angle += step) {
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
                   const std::function<double(double, double)>& plausible)
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

void RemoveCrease(cv::Mat& image, const cv::Rect& requested, double thr1, int q, int n, cv::Mat* creaseMask)
{
    CV_Assert(image.type() == CV_8UC3);
    if (creaseMask)
        *creaseMask = cv::Mat::zeros(image.size(), CV_8UC1);
    const cv::Rect region = requested & cv::Rect(0, 0, image.cols, image.rows);
    if (region.empty())
        return;
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
    const LineFit coarse = CoarseLine(small, smallInner, std::max(3, cvRound(side / factor)), clip, plausible);
    const LineFit fine = BestLine(grey, inner, coarse.angle - 1.5 * step, coarse.angle + 1.5 * step, step / 8,
                                  coarse.offset * factor, 2 * factor + 6, side, clip);
    // A clean picture has lines too, but seldom one departing by THR1 all
    // along its length.
    if (fine.mean.empty() || fine.departure < thr1)
        return;

    // The crease's extent across: the offsets around the line found whose
    // lines depart by at least a small share of its peak.
    const int centre = fine.offset - fine.first;
    auto departs = [&](int k) { return std::abs(fine.mean[k]) > kBandShare * fine.departure; };
    int lo = centre, hi = centre;
    while (lo - 1 > centre - side && departs(lo - 1))
        --lo;
    while (hi + 1 < centre + side && departs(hi + 1))
        ++hi;
    lo = lo + fine.first - 1;
    hi = hi + fine.first + 1;

    // The crease's shape across it: the mean brightness of each line of the
    // band over the whole region, less the straight baseline between the
    // lines just outside the band. Averaged over the crease's length, the
    // picture's texture cancels out of it.
    const double nx = -std::sin(fine.angle), ny = std::cos(fine.angle);  // offset grows along (nx, ny)
    const double tx = std::cos(fine.angle), ty = std::sin(fine.angle);   // along the crease
    const int bins = hi - lo + 5;  // offsets lo - 2 to hi + 2
    std::vector<double> lineSum(bins, 0.0), lineCount(bins, 0.0);
    for (int y = 0; y < inner.height; ++y)
        for (int x = 0; x < inner.width; ++x) {
            const int k = cvRound(Offset(inner.x + x, inner.y + y, fine.angle)) - (lo - 2);
            if (k < 0 || k >= bins)
                continue;
            lineSum[k] += grey(inner.y + y, inner.x + x);
            lineCount[k] += 1;
        }
    std::vector<double> shape(bins, 0.0);
    auto lineMean = [&](int k) { return lineCount[k] > 0 ? lineSum[k] / lineCount[k] : 0.0; };
    const double left = 0.5 * (lineMean(0) + lineMean(1)), right = 0.5 * (lineMean(bins - 2) + lineMean(bins - 1));
    double peak = 0, shapeEnergy = 0;
    for (int k = 2; k < bins - 2; ++k) {
        const double t = (k - 0.5) / double(bins - 2);
        shape[k] = lineMean(k) - (left + t * (right - left));
        peak = std::max(peak, std::abs(shape[k]));
        shapeEnergy += shape[k] * shape[k];
    }
    auto shapeAt = [&](double o) {
        const double k = o - (lo - 2);
        const int k0 = static_cast<int>(std::floor(k));
        if (k0 < 2 || k0 + 1 >= bins - 2)
            return k0 >= 2 && k0 < bins - 2 ? shape[k0] : 0.0;
        return shape[k0] + (k - k0) * (shape[k0 + 1] - shape[k0]);
    };
    if (peak < thr1 || shapeEnergy <= 0)
        return;

    // How strong the crease is along its length: the local profile (moving
    // average of Q pixels along the crease, less the local means just
    // outside it) fitted to the shape, position by position. Where the local
    // profile does not look like the crease, the line found is picture
    // structure there, and nothing is changed.
    cv::Mat1f average;
    cv::filter2D(grey, average, CV_32F, LineKernel(q, fine.angle), cv::Point(-1, -1), 0, cv::BORDER_REFLECT);
    grey.release();
    const int diag = static_cast<int>(std::ceil(std::hypot(ext.width, ext.height))) + 2;
    std::vector<double> fitNum(2 * diag + 1, 0.0), fitDen(2 * diag + 1, 0.0), localEnergy(2 * diag + 1, 0.0);
    cv::Mat band = cv::Mat::zeros(inner.size(), CV_8UC1);
    cv::Mat1f local(inner.size(), 0.0f);
    for (int y = 0; y < inner.height; ++y)
        for (int x = 0; x < inner.width; ++x) {
            const int ex = inner.x + x, ey = inner.y + y;
            const double o = Offset(ex, ey, fine.angle);
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
            localEnergy[along] += p * p;
            local(y, x) = float(p);
            band.at<uchar>(y, x) = 255;
        }
    average.release();
    // Amplitude per position along the crease, smoothed over Q positions;
    // kept where the fit explains most of the local profile and the crease
    // departs by more than THR1.
    const int positions = 2 * diag + 1, halfQ = std::max(1, q / 2);
    std::vector<double> amplitude(positions, 0.0);
    std::vector<uchar> crease(positions, 0);
    for (int i = 0; i < positions; ++i) {
        double num = 0, den = 0, energy = 0;
        for (int j = std::max(0, i - halfQ); j <= std::min(positions - 1, i + halfQ); ++j) {
            num += fitNum[j];
            den += fitDen[j];
            energy += localEnergy[j];
        }
        if (den <= 0 || energy <= 0)
            continue;
        const double a = std::max(0.0, num / den);
        const double explained = a * a * den / energy;
        amplitude[i] = a;
        crease[i] = a * peak > thr1 && explained > kMinExplained;
    }

    cv::Mat found = cv::Mat::zeros(inner.size(), CV_8UC1);
    for (int y = 0; y < inner.height; ++y) {
        cv::Vec3b* px = image.ptr<cv::Vec3b>(region.y + y) + region.x;
        const uchar* bd = band.ptr<uchar>(y);
        for (int x = 0; x < inner.width; ++x) {
            if (!bd[x])
                continue;
            const int ex = inner.x + x, ey = inner.y + y;
            const int along = cvRound(ex * tx + ey * ty) + diag;
            if (!crease[along])
                continue;
            const double correction = amplitude[along] * shapeAt(Offset(ex, ey, fine.angle));
            for (int c = 0; c < 3; ++c)
                px[x][c] = cv::saturate_cast<uchar>(px[x][c] - correction);
            found.at<uchar>(y, x) = 255;
        }
    }
    if (creaseMask)
        found.copyTo((*creaseMask)(region));
}

}  // namespace veltro
