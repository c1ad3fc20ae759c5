#pragma once
// Synthetic damage with known ground truth, for the engine's quality
// benchmark and for the sample pictures in examples/.

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace veltro::bench {

struct Damaged {
    cv::Mat image;        // the damaged picture (8-bit BGR)
    cv::Mat truth;        // 255 where the damage changed the picture
    cv::Mat userMask;     // blotches: the mask a user would paint
    cv::Point p1, p2;     // cracks: the two clicks (top-down grid)
    cv::Rect region;      // creases: the dragged region
};

// A page of printed text on aged paper, as a scan would give it.
cv::Mat MakeDocumentPage(cv::Size size, cv::RNG& rng);

Damaged AddBlotches(const cv::Mat& clean, cv::RNG& rng, int count, int minRadius, int maxRadius);
Damaged AddCrack(const cv::Mat& clean, cv::RNG& rng, int minLength, int maxLength);
Damaged AddFoxing(const cv::Mat& clean, cv::RNG& rng, int count, int minRadius, int maxRadius);
Damaged AddCrease(const cv::Mat& clean, cv::RNG& rng);

// The sample photographs of Debian's opencv-doc, if installed.
std::string SampleDataDir();
std::vector<std::string> SamplePhotoNames();

}  // namespace veltro::bench
