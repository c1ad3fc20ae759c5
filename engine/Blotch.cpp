// Blotch removal. A blotch lies over the picture like a coat of colour C
// that covers a share a of each pixel: p = (1 - a) b + a C, b what lies
// beneath. Where the user's mask marks it, it covers most; its soft border
// fades out within DIST pixels beyond the mask, partly covering what lies
// there. For each blotch, the share it covers is measured at every distance
// from the mask's edge (inside and out): against a smooth estimate of the
// picture from around the blotch, along the line towards the blotch's own
// colour, the median over all pixels at that distance (the picture's
// texture averages out). Pixels covered a little are unblended,
// b = (p - a C) / (1 - a), keeping the detail beneath; pixels that do not
// depart from their surroundings are kept; only what the blotch covers
// mostly is rebuilt, from the ring of width COST around it.

#include "engine/Restoration.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace veltro {

namespace {

constexpr int kDiscLimit = 8;          // largest growth done by a dilation
constexpr double kGrowShare = 0.12;
constexpr double kMeasureShare = 0.25;
constexpr int kMaxBorder = 64;        // widest soft border measured, pixels
constexpr int kInside = 3;             // depth inside the mask measured, pixels
constexpr double kKeep = 0.04;         // covered less than this: kept as it is
constexpr double kRebuild = 0.6;       // covered more: rebuilt
constexpr double kOvershoot = 12.0;    // grey levels an unblended colour may stray beyond 0..255
constexpr double kMinContrast = 24;  // blotch against picture (grey levels) needed to tell its cover

cv::Mat DiscKernel(int radius)
{
    cv::Mat kernel(2 * radius + 1, 2 * radius + 1, CV_8UC1);
    for (int y = -radius; y <= radius; ++y)
        for (int x = -radius; x <= radius; ++x)
            kernel.at<uchar>(y + radius, x + radius) = x * x + y * y <= radius * radius ? 1 : 0;
    return kernel;
}

double Median(std::vector<float>& v)
{
    if (v.empty())
        return 0.0;
    const size_t m = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + m, v.end());
    return v[m];
}

}  // namespace

cv::Mat GrowMask(const cv::Mat& binary, int dist)
{
    CV_Assert(binary.type() == CV_8UC1);
    cv::Mat grown = cv::Mat::zeros(binary.size(), CV_8UC1);
    if (cv::countNonZero(binary) == 0)
        return grown;
    grown.setTo(255, binary);
    if (dist <= 0)
        return grown;
    dist = std::min(dist, binary.cols + binary.rows);
    if (dist <= kDiscLimit) {
        // A dilation with the exact disc of radius dist (the pixels within
        // that Euclidean distance): much faster than a distance transform
        // while the disc is small.
        cv::dilate(grown, grown, DiscKernel(dist));
        return grown;
    }
    // A distance transform costs the same for every distance, unlike a
    // dilation with a large disc; it runs on the damage's box only.
    const cv::Rect box = cv::boundingRect(binary);
    cv::Rect work(box.x - dist, box.y - dist, box.width + 2 * dist, box.height + 2 * dist);
    work &= cv::Rect(0, 0, binary.cols, binary.rows);
    cv::Mat outside = binary(work) == 0;
    cv::Mat1f distance;
    cv::distanceTransform(outside, distance, cv::DIST_L2, cv::DIST_MASK_PRECISE);
    cv::Mat near = distance <= static_cast<float>(dist);
    grown(work).setTo(255, near);
    return grown;
}

void RemoveBlotches(cv::Mat& image, const cv::Mat& mask, int dist, int cost, cv::Mat* grownMask,
                    const Progress& progress)
{
    CV_Assert(image.type() == CV_8UC3 && mask.type() == CV_8UC1 && mask.size() == image.size());
    // Distances beyond the picture mean the whole picture.
    const int longSide = std::max(image.cols, image.rows);
    dist = std::clamp(dist, 0, longSide);
    cost = std::clamp(cost, 1, longSide);
    const cv::Mat blotches = mask >= 128;
    if (grownMask)
        *grownMask = cv::Mat::zeros(image.size(), CV_8UC1);
    if (cv::countNonZero(blotches) == 0) {
        progress.Report(1.0);
        return;
    }
    const cv::Mat grown = GrowMask(blotches, dist);
    progress.Report(kGrowShare);

    // Work around the blotches only: their box, widened by the ring and a
    // margin for the smooth estimate.
    const int margin = dist + cost + 16;
    const cv::Rect box = cv::boundingRect(grown);
    const cv::Rect work = cv::Rect(box.x - margin, box.y - margin, box.width + 2 * margin, box.height + 2 * margin) &
                          cv::Rect(0, 0, image.cols, image.rows);
    cv::Mat roi = image(work);
    const cv::Mat core = blotches(work), reach = grown(work);

    // Distances from the mask's edge, outside and inside, and which blotch
    // each pixel belongs to (the nearest).
    cv::Mat1f outside, inside;
    cv::Mat labels;
    cv::distanceTransform(~core, outside, labels, cv::DIST_L2, cv::DIST_MASK_5, cv::DIST_LABEL_CCOMP);
    cv::distanceTransform(core, inside, cv::DIST_L2, cv::DIST_MASK_5);
    double maxLabel = 0;
    cv::minMaxLoc(labels, nullptr, &maxLabel);
    const int count = static_cast<int>(maxLabel) + 1;

    // Per blotch: its colour (the median deep inside the mask; of the whole
    // mask for a thin blotch without a deep inside).
    std::vector<std::vector<float>> colour[3];
    for (auto& c : colour)
        c.resize(count);
    for (int y = 0; y < roi.rows; ++y)
        for (int x = 0; x < roi.cols; ++x)
            if (core.at<uchar>(y, x) && inside(y, x) > kInside) {
                const cv::Vec3b p = roi.at<cv::Vec3b>(y, x);
                for (int c = 0; c < 3; ++c)
                    colour[c][labels.at<int>(y, x)].push_back(p[c]);
            }
    std::vector<cv::Vec3d> blotchColour(count, cv::Vec3d(0, 0, 0));
    std::vector<char> hasColour(count, 0), deepColour(count, 0);
    for (int b = 0; b < count; ++b)
        if (!colour[0][b].empty()) {
            for (int c = 0; c < 3; ++c)
                blotchColour[b][c] = Median(colour[c][b]);
            hasColour[b] = deepColour[b] = 1;
        }
    for (int y = 0; y < roi.rows; ++y)
        for (int x = 0; x < roi.cols; ++x)
            if (core.at<uchar>(y, x) && !hasColour[labels.at<int>(y, x)]) {
                const cv::Vec3b p = roi.at<cv::Vec3b>(y, x);
                for (int c = 0; c < 3; ++c)
                    colour[c][labels.at<int>(y, x)].push_back(p[c]);
            }
    for (int b = 0; b < count; ++b) {
        if (!hasColour[b] && !colour[0][b].empty()) {
            for (int c = 0; c < 3; ++c)
                blotchColour[b][c] = Median(colour[c][b]);
            hasColour[b] = 1;
        }
        for (auto& c : colour)
            std::vector<float>().swap(c[b]);
    }

    // The share each blotch covers at each whole distance from the mask's
    // edge, -kInside..border (farther out than a soft border can reach,
    // pixels are kept): the mean colour there against the mean colour of
    // the ring just beyond (the picture as it is around the blotch), along
    // the line towards the blotch's colour.
    const int border = std::min(dist, kMaxBorder);
    const int bins = border + kInside + 1;
    auto binOf = [&](int y, int x) {
        const float d = core.at<uchar>(y, x) ? -inside(y, x) + 1.0f : outside(y, x);
        const int k = static_cast<int>(std::lround(d));
        return k > border ? -1 : std::max(k, -kInside) + kInside;
    };
    const int ringFrom = border + 1, ringTo = border + std::max(4, std::min(cost, 12));
    std::vector<cv::Vec3f> sums(size_t(count) * bins, cv::Vec3f(0, 0, 0)), ringSum(count, cv::Vec3f(0, 0, 0));
    std::vector<float> counts(size_t(count) * bins, 0.0f), ringCount(count, 0.0f);
    for (int y = 0; y < roi.rows; ++y)
        for (int x = 0; x < roi.cols; ++x) {
            const int b = labels.at<int>(y, x);
            const cv::Vec3b p = roi.at<cv::Vec3b>(y, x);
            const cv::Vec3f v(p[0], p[1], p[2]);
            const int k = binOf(y, x);
            if (k >= 0 && (core.at<uchar>(y, x) || reach.at<uchar>(y, x))) {
                sums[size_t(b) * bins + k] += v;
                counts[size_t(b) * bins + k] += 1;
            } else if (outside(y, x) >= ringFrom && outside(y, x) <= ringTo) {
                ringSum[b] += v;
                ringCount[b] += 1;
            }
        }
    std::vector<double> share(size_t(count) * bins, -1.0);
    for (int b = 0; b < count; ++b) {
        double* a = &share[size_t(b) * bins];
        bool measured = ringCount[b] >= 8 && hasColour[b];
        cv::Vec3d around, toward;
        double span = 0;
        if (measured) {
            const cv::Vec3f m = ringSum[b] / ringCount[b];
            around = cv::Vec3d(m[0], m[1], m[2]);
            toward = blotchColour[b] - around;
            span = toward.dot(toward);
            measured = span >= kMinContrast * kMinContrast;
        }
        for (int k = 0; k < bins; ++k) {
            const size_t i = size_t(b) * bins + k;
            if (!measured || counts[i] < 3) {
                // Nothing to measure: inside, rebuilt; outside, kept.
                a[k] = k <= kInside ? -1.0 : 0.0;
                continue;
            }
            const cv::Vec3f m = sums[i] / counts[i];
            a[k] = (cv::Vec3d(m[0], m[1], m[2]) - around).dot(toward) / span;
        }
        if (!measured)
            continue;
        // At the end of the border the blotch has faded out: what is
        // measured there is the picture's own departure from its mean
        // around, taken off.
        double base = 0;
        if (border >= 3)
            base = std::clamp(std::min(a[bins - 1], a[bins - 2]), 0.0, 0.9);
        // Never growing outwards, nothing beyond where it first fades out.
        double previous = 1.0;
        bool faded = false;
        for (int k = 0; k < bins; ++k) {
            if (a[k] < 0 && k <= kInside)
                continue;
            double v = std::clamp((a[k] - base) / (1.0 - base), 0.0, 1.0);
            v = std::min(v, previous);
            if (faded || (k > kInside && v < kKeep)) {
                faded = true;
                v = 0;
            }
            previous = v;
            a[k] = v;
        }
    }
    progress.Report(kMeasureShare);

    // Unblend the partly covered pixels; mark the mostly covered ones.
    cv::Mat hole = cv::Mat::zeros(roi.size(), CV_8UC1);
    for (int y = 0; y < roi.rows; ++y)
        for (int x = 0; x < roi.cols; ++x) {
            if (!reach.at<uchar>(y, x))
                continue;
            const int b = labels.at<int>(y, x);
            // Inside the mask only a blotch whose own colour was seen deep
            // inside it can be unblended.
            const bool deep = core.at<uchar>(y, x) && (inside(y, x) > kInside || !deepColour[b]);
            const int k = binOf(y, x);
            if (k < 0)
                continue;
            const double a = deep ? -1.0 : share[size_t(b) * bins + k];
            if (a < 0 || a >= kRebuild) {
                if (core.at<uchar>(y, x) || a >= kRebuild)
                    hole.at<uchar>(y, x) = 255;
                continue;
            }
            if (a < kKeep)
                continue;
            // Unblended; a colour beyond what a picture can hold means the
            // blotch is not the coat of one colour measured: rebuilt.
            cv::Vec3b& p = roi.at<cv::Vec3b>(y, x);
            double u[3];
            bool plausible = true;
            for (int c = 0; c < 3; ++c) {
                u[c] = (p[c] - a * blotchColour[b][c]) / (1.0 - a);
                plausible &= u[c] >= -kOvershoot && u[c] <= 255 + kOvershoot;
            }
            if (!plausible) {
                hole.at<uchar>(y, x) = 255;
                continue;
            }
            for (int c = 0; c < 3; ++c)
                p[c] = cv::saturate_cast<uchar>(u[c]);
        }
    FillDamage(roi, hole, cost, progress.Sub(kMeasureShare, 1.0));
    if (grownMask)
        (*grownMask)(work).setTo(255, reach);
}

}  // namespace veltro
