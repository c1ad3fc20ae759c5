#include "engine/Restoration.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace veltro {

namespace {

constexpr int kDiscLimit = 8;  // largest growth done by a dilation
constexpr double kGrowShare = 0.12;

cv::Mat DiscKernel(int radius)
{
    cv::Mat kernel(2 * radius + 1, 2 * radius + 1, CV_8UC1);
    for (int y = -radius; y <= radius; ++y)
        for (int x = -radius; x <= radius; ++x)
            kernel.at<uchar>(y + radius, x + radius) = x * x + y * y <= radius * radius ? 1 : 0;
    return kernel;
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
    const cv::Mat blotches = mask >= 128;
    const cv::Mat grown = GrowMask(blotches, dist);
    // Growing the mask takes little next to the reconstruction.
    progress.Report(kGrowShare);
    FillDamage(image, grown, cost, progress.Sub(kGrowShare, 1.0));
    if (grownMask)
        *grownMask = grown;
}

}  // namespace veltro
