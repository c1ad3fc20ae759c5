// Crease removal. A crease is a thin straight line of abnormal brightness.
// A median filter of size N gives the picture without thin lines; what is
// left (texture plus crease) is averaged along the crease's direction over Q
// pixels, which keeps the crease's brightness profile and averages the
// texture away. Where that profile departs by more than THR1 grey levels,
// it is subtracted: the texture beneath stays.

#include "engine/Restoration.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace veltro {

namespace {

constexpr int kDirections = 24;       // directions tried over 180 degrees
constexpr int kDetectionSide = 512;   // direction search on a copy this large
constexpr int kProfileReach = 3;      // pixels corrected beyond the detected crease

// A normalised line of `length` pixels through the centre, at `angle`.
cv::Mat LineKernel(int length, double angle)
{
    const int side = length | 1;
    cv::Mat1f kernel(side, side, 0.0f);
    const double c = std::cos(angle) * (length - 1) / 2.0, s = std::sin(angle) * (length - 1) / 2.0;
    const cv::Point2d centre((side - 1) / 2.0, (side - 1) / 2.0);
    // Sample the line densely, bilinearly, so every direction has the same weight.
    const int samples = 4 * side;
    for (int i = 0; i <= samples; ++i) {
        const double t = -1.0 + 2.0 * i / samples;
        const double x = centre.x + t * c, y = centre.y + t * s;
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
    n = std::max(3, std::min(n, 255)) | 1;
    const int margin = std::max(q, n);
    const cv::Rect ext = cv::Rect(region.x - margin, region.y - margin, region.width + 2 * margin,
                                  region.height + 2 * margin) & cv::Rect(0, 0, image.cols, image.rows);

    cv::Mat grey, base;
    cv::cvtColor(image(ext), grey, cv::COLOR_BGR2GRAY);
    cv::medianBlur(grey, base, n);
    cv::Mat1f detail;
    cv::subtract(grey, base, detail, cv::noArray(), CV_32F);
    grey.release();
    base.release();

    // The crease's direction: the one along which the averaged detail holds
    // the most energy, found on a reduced copy.
    const double factor = std::max(1.0, std::max(ext.width, ext.height) / double(kDetectionSide));
    cv::Mat1f small;
    if (factor > 1.0)
        cv::resize(detail, small, cv::Size(), 1.0 / factor, 1.0 / factor, cv::INTER_AREA);
    else
        small = detail;
    const int smallLength = std::max(3, static_cast<int>(q / factor));
    double bestAngle = 0, bestEnergy = -1;
    for (int i = 0; i < kDirections; ++i) {
        const double angle = CV_PI * i / kDirections;
        cv::Mat1f averaged;
        cv::filter2D(small, averaged, CV_32F, LineKernel(smallLength, angle), cv::Point(-1, -1), 0,
                     cv::BORDER_REFLECT);
        const double energy = averaged.dot(averaged);
        if (energy > bestEnergy) {
            bestEnergy = energy;
            bestAngle = angle;
        }
    }

    cv::Mat1f profile;
    cv::filter2D(detail, profile, CV_32F, LineKernel(q, bestAngle), cv::Point(-1, -1), 0, cv::BORDER_REFLECT);
    detail.release();

    // Crease pixels: inside the region, profile beyond the threshold, in
    // pieces long enough to be a line rather than a speck.
    const cv::Rect inner(region.x - ext.x, region.y - ext.y, region.width, region.height);
    cv::Mat found = cv::abs(profile(inner)) > thr1;
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(found, labels, stats, centroids, 8, CV_32S);
    const int minArea = std::max(3, q / 2);
    std::vector<uchar> keep(count, 0);
    for (int i = 1; i < count; ++i)
        keep[i] = stats.at<int>(i, cv::CC_STAT_AREA) >= minArea ? 255 : 0;
    for (int y = 0; y < found.rows; ++y) {
        const int* l = labels.ptr<int>(y);
        uchar* f = found.ptr<uchar>(y);
        for (int x = 0; x < found.cols; ++x)
            f[x] = keep[l[x]];
    }
    labels.release();
    cv::dilate(found, found, cv::getStructuringElement(cv::MORPH_ELLIPSE,
                                                       cv::Size(2 * kProfileReach + 1, 2 * kProfileReach + 1)));

    for (int y = 0; y < inner.height; ++y) {
        cv::Vec3b* p = image.ptr<cv::Vec3b>(region.y + y) + region.x;
        const float* d = profile[inner.y + y] + inner.x;
        const uchar* f = found.ptr<uchar>(y);
        for (int x = 0; x < inner.width; ++x) {
            if (!f[x])
                continue;
            for (int c = 0; c < 3; ++c)
                p[x][c] = cv::saturate_cast<uchar>(p[x][c] - d[x]);
        }
    }
    if (creaseMask)
        found.copyTo((*creaseMask)(region));
}

}  // namespace veltro
