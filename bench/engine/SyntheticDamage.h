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
    std::string kind;     // what was made, for the reports
};

// A page of printed text on aged paper, as a scan would give it. With
// `drawing`, the page also carries ruled and slanted dark lines of its own
// (a diagram, underlines), which no restoration may take for damage.
cv::Mat MakeDocumentPage(cv::Size size, cv::RNG& rng, bool drawing = false);

// Blotches: dark, light or coloured, partly transparent, with a soft halo
// of 1 to 6 pixels around the part a user would paint.
struct BlotchOptions {
    int count = 8;
    int minRadius = 5, maxRadius = 18;
    int minHalo = 1, maxHalo = 6;
};
Damaged AddBlotches(const cv::Mat& clean, cv::RNG& rng, const BlotchOptions& options);
Damaged AddBlotches(const cv::Mat& clean, cv::RNG& rng, int count, int minRadius, int maxRadius);

// A gently curved white crack of width 1 to 5, crossing bright structure
// in about half of the cases; clicked up to `clickError` pixels off its ends.
struct CrackOptions {
    int minLength = 150, maxLength = 320;
    int minWidth = 1, maxWidth = 5;
    int clickError = 3;
};
Damaged AddCrack(const cv::Mat& clean, cv::RNG& rng, const CrackOptions& options);
Damaged AddCrack(const cv::Mat& clean, cv::RNG& rng, int minLength, int maxLength);

// Foxing: small dense spots or large faint stains. With `lightAreasOnly`,
// spots sit in the light, smooth areas of a photograph (sky, borders, light
// clothing: light in every channel, smooth over 31 pixels); when it has
// none, the result's image is empty.
struct FoxOptions {
    int count = 12;
    int minRadius = 3, maxRadius = 12;
    double minPeak = 0.3, maxPeak = 0.7;
    bool lightAreasOnly = false;
};
Damaged AddFoxing(const cv::Mat& clean, cv::RNG& rng, const FoxOptions& options);
Damaged AddFoxing(const cv::Mat& clean, cv::RNG& rng, int count, int minRadius, int maxRadius);

// A straight crease across the whole picture at any angle: a light ridge,
// a dark shadow, or both side by side, 1 to 8 pixels wide, its strength
// wavering along its length. The region is what a user drags around it:
// tight, loose (up to 3 times wider across the crease, the crease anywhere
// in it), or the whole picture.
enum class CreaseKind { Ridge, Shadow, Both, Any };
enum class RegionKind { Tight, Loose, Whole, Any };
struct CreaseOptions {
    CreaseKind kind = CreaseKind::Any;
    RegionKind region = RegionKind::Any;
    int minWidth = 1, maxWidth = 8;
};
Damaged AddCrease(const cv::Mat& clean, cv::RNG& rng, const CreaseOptions& options);
Damaged AddCrease(const cv::Mat& clean, cv::RNG& rng);

// A region a user might drag on a picture without a crease: anywhere, of
// any shape, sometimes the whole picture.
cv::Rect RandomRegion(cv::Size size, cv::RNG& rng);

// The sample photographs of Debian's opencv-doc, if installed, sorted by
// name (the benchmark splits them into halves by their place in the list).
std::string SampleDataDir();
std::vector<std::string> SamplePhotoNames();

}  // namespace veltro::bench
