// Foxing removal. A fox spot is a stain: it absorbs light, blue most and red
// least, and multiplies what lies beneath it (paper, ink, picture) by a
// transmission below one. The spots are found by their colour departure
// from the local paper colour; inside each spot the amount of stain is
// estimated per pixel, smoothed, and divided out, so ink and detail under
// the stain stay as they were.

#include "engine/Restoration.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace veltro {

namespace {

constexpr int kBackgroundWindow = 61;   // paper colour: median over this many pixels
constexpr double kPaperShare = 0.55;    // brighter than this share of the paper: no ink
constexpr double kInkConfidence = 0.15; // weight of dark pixels in the stain estimate
constexpr double kSmoothing = 1.5;      // Gaussian sigma of the stain estimate, pixels
constexpr double kMaxAbsorbance = 2.5;
constexpr int kMinSpotArea = 12;        // pixels; smaller departures are specks
constexpr int kPaperMinLevel = 110;      // the paper's brightest channel at least this
constexpr double kPaperMaxSaturation = 0.4;
constexpr int kNoise = 6;                // grey levels of scanning and JPEG noise
constexpr double kMaxSpotShare = 0.002;  // larger "spots" are picture content
constexpr double kMaxElongation = 3.0;
constexpr double kMinSolidity = 0.7;
// Where each stage ends, as a share of the time of the whole removal.
constexpr double kPaperDone = 0.2;
constexpr double kDetectDone = 0.7;
constexpr double kRowsDone = 0.16;       // of the detection: the colour test per row,
constexpr double kSpecksDone = 0.25;     //   the specks' median, and the
constexpr double kComponentsDone = 0.95; //   components' labels
constexpr double kGrownDone = 0.8;
constexpr double kContoursDone = 0.88;
constexpr double kMeasureDone = 0.95;

// The paper colour around every pixel: a per-channel median on a reduced
// copy, brought back to full size.
cv::Mat PaperColour(const cv::Mat& image)
{
    const int longSide = std::max(image.cols, image.rows);
    const double factor = std::max(1.0, longSide / 1024.0);
    cv::Mat small;
    if (factor > 1.0)
        cv::resize(image, small, cv::Size(), 1.0 / factor, 1.0 / factor, cv::INTER_AREA);
    else
        small = image.clone();
    int k = static_cast<int>(kBackgroundWindow / factor) | 1;
    k = std::max(3, std::min(k, (std::min(small.cols, small.rows) - 1) | 1));
    cv::medianBlur(small, small, std::max(3, k));
    cv::Mat paper;
    cv::resize(small, paper, image.size(), 0, 0, cv::INTER_LINEAR);
    return paper;
}

// Pixels whose red-blue difference exceeds the paper's by more than amp,
// and that look stained: darker than the paper in blue more than in green
// and in green more than in red, never brighter in any channel beyond noise.
// Red or orange picture content is brighter than its surroundings in red
// and is not taken for a stain, nor is anything on a dark or strongly
// coloured background, which is not paper.
cv::Mat DetectSpots(const cv::Mat& image, const cv::Mat& paper, double amp, const Progress& progress)
{
    cv::Mat spots(image.size(), CV_8UC1);
    const float limit = static_cast<float>(amp * 255.0);
    const Progress rows = progress.Sub(0.0, kRowsDone);
    for (int y = 0; y < image.rows; ++y) {
        rows.Report(y, image.rows);
        const cv::Vec3b* p = image.ptr<cv::Vec3b>(y);
        const cv::Vec3b* b = paper.ptr<cv::Vec3b>(y);
        uchar* s = spots.ptr<uchar>(y);
        for (int x = 0; x < image.cols; ++x) {
            const int dB = int(b[x][0]) - int(p[x][0]);  // darkening per channel
            const int dG = int(b[x][1]) - int(p[x][1]);
            const int dR = int(b[x][2]) - int(p[x][2]);
            const float shift = float(dB - dR);
            // Foxing grows on paper: a light background of low saturation.
            const int hi = std::max({b[x][0], b[x][1], b[x][2]}), lo = std::min({b[x][0], b[x][1], b[x][2]});
            const bool paperLike = hi >= kPaperMinLevel && (hi - lo) <= kPaperMaxSaturation * hi;
            s[x] = paperLike && shift > limit && dR >= -kNoise && dG >= dR - kNoise && dB >= dG - kNoise ? 255 : 0;
        }
    }
    rows.Report(1.0);
    // Lone pixels and specks are noise and picture texture, not stains.
    cv::medianBlur(spots, spots, 3);
    progress.Report(kSpecksDone);
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(spots, labels, stats, centroids, 8, CV_32S);
    progress.Report(kComponentsDone);
    std::vector<uchar> keep(count, 0);
    for (int i = 1; i < count; ++i)
        keep[i] = stats.at<int>(i, cv::CC_STAT_AREA) >= kMinSpotArea ? 255 : 0;
    for (int y = 0; y < spots.rows; ++y) {
        const int* l = labels.ptr<int>(y);
        uchar* s = spots.ptr<uchar>(y);
        for (int x = 0; x < spots.cols; ++x)
            s[x] = keep[l[x]];
    }
    return spots;
}

// The stain's absorption direction (blue, green, red), unit length, from the
// clearly stained paper pixels; a typical brown if there are too few.
cv::Vec3d StainColour(const std::vector<cv::Vec3d>& absorbances)
{
    cv::Vec3d sum(0, 0, 0);
    for (const cv::Vec3d& v : absorbances)
        sum += v;
    const double n = cv::norm(sum);
    if (absorbances.size() < 20 || n < 1e-6 || sum[0] <= 0)
        return cv::normalize(cv::Vec3d(0.85, 0.5, 0.25));
    return sum / n;
}

}  // namespace

void RemoveFoxing(cv::Mat& image, int dist, int cost, double amp, cv::Mat* foxMask, const Progress& progress)
{
    CV_Assert(image.type() == CV_8UC3);
    if (image.empty())
        return;
    cost = std::max(1, cost);
    const cv::Mat paper = PaperColour(image);
    progress.Report(kPaperDone);
    const cv::Mat spots = DetectSpots(image, paper, amp, progress.Sub(kPaperDone, kDetectDone));
    const cv::Mat grown = GrowMask(spots, dist);
    progress.Report(kGrownDone);
    if (foxMask)
        *foxMask = cv::Mat::zeros(image.size(), CV_8UC1);
    if (cv::countNonZero(grown) == 0) {
        progress.Report(1.0);
        return;
    }

    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(grown.clone(), contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);

    struct Spot {
        cv::Rect roi;            // spot box widened by the ring
        cv::Vec3d paper;         // paper colour from the ring
        cv::Mat own;             // this spot's pixels over roi
    };
    std::vector<Spot> found;
    std::vector<cv::Vec3d> stained;
    const cv::Rect whole(0, 0, image.cols, image.rows);
    const double maxSpotArea = std::max(1500.0, kMaxSpotShare * image.total());
    progress.Report(kContoursDone);
    const Progress measuring = progress.Sub(kContoursDone, kMeasureDone);
    for (size_t i = 0; i < contours.size(); ++i) {
        measuring.Report(static_cast<long long>(i), static_cast<long long>(contours.size()));
        const std::vector<cv::Point>& contour = contours[i];
        const cv::Rect box = cv::boundingRect(contour);
        // Fox spots are compact blots; long or ragged shapes are edges and
        // texture of the picture.
        const double area = cv::contourArea(contour);
        if (area > maxSpotArea)
            continue;
        const cv::RotatedRect rect = cv::minAreaRect(contour);
        const double longSide = std::max(rect.size.width, rect.size.height);
        const double shortSide = std::max(1.0f, std::min(rect.size.width, rect.size.height));
        std::vector<cv::Point> hull;
        cv::convexHull(contour, hull);
        const double hullArea = cv::contourArea(hull);
        if (longSide / shortSide > kMaxElongation || (hullArea > 0 && area / hullArea < kMinSolidity))
            continue;
        const cv::Rect roi = cv::Rect(box.x - cost, box.y - cost, box.width + 2 * cost,
                                      box.height + 2 * cost) & whole;
        // The flawless ring: around this spot, outside every spot, and paper
        // rather than ink (brighter than the local paper colour allows ink).
        const cv::Mat ring = GrowMask(grown(roi), cost) & ~grown(roi);
        cv::Vec3d sum(0, 0, 0), weight(0, 0, 0);
        double count = 0;
        for (int y = 0; y < roi.height; ++y)
            for (int x = 0; x < roi.width; ++x) {
                if (!ring.at<uchar>(y, x))
                    continue;
                const cv::Vec3b p = image.at<cv::Vec3b>(roi.y + y, roi.x + x);
                const cv::Vec3b b = paper.at<cv::Vec3b>(roi.y + y, roi.x + x);
                if (p[1] < kPaperShare * b[1])
                    continue;
                sum += cv::Vec3d(p[0], p[1], p[2]);
                count += 1;
            }
        Spot spot{roi, cv::Vec3d(0, 0, 0), cv::Mat::zeros(roi.size(), CV_8UC1)};
        cv::drawContours(spot.own, std::vector<std::vector<cv::Point>>{contour}, 0, cv::Scalar(255),
                         cv::FILLED, cv::LINE_8, cv::noArray(), INT_MAX, -roi.tl());
        spot.own &= grown(roi);
        if (count >= 3) {
            spot.paper = sum / count;
        } else {
            const cv::Scalar m = cv::mean(paper(roi));
            spot.paper = cv::Vec3d(m[0], m[1], m[2]);
        }
        for (int c = 0; c < 3; ++c)
            spot.paper[c] = std::max(spot.paper[c], 1.0);
        // Stained paper pixels tell the stain's colour.
        for (int y = 0; y < roi.height; ++y)
            for (int x = 0; x < roi.width; ++x) {
                if (!spots.at<uchar>(roi.y + y, roi.x + x) || !spot.own.at<uchar>(y, x))
                    continue;
                const cv::Vec3b p = image.at<cv::Vec3b>(roi.y + y, roi.x + x);
                if (p[1] < kPaperShare * spot.paper[1])
                    continue;
                cv::Vec3d v;
                for (int c = 0; c < 3; ++c)
                    v[c] = -std::log(std::max(1.0, double(p[c])) / spot.paper[c]);
                stained.push_back(v);
            }
        if (foxMask)
            (*foxMask)(roi) |= spot.own;
        found.push_back(spot);
    }
    const cv::Vec3d beta = StainColour(stained);
    const double betaMean = (beta[0] + beta[1] + beta[2]) / 3.0;
    double betaSpread = 0;
    for (int c = 0; c < 3; ++c)
        betaSpread += (beta[c] - betaMean) * (beta[c] - betaMean);

    const Progress removing = progress.Sub(kMeasureDone, 1.0);
    for (size_t i = 0; i < found.size(); ++i) {
        removing.Report(static_cast<long long>(i), static_cast<long long>(found.size()));
        const Spot& spot = found[i];
        const cv::Rect roi = spot.roi;
        // Absorbance of every pixel against the paper: v = ink + a * beta,
        // where ink is neutral (equal in the three channels). Paper pixels
        // have no ink, so a = v . beta; under ink only the colour tells a.
        cv::Mat1f amount(roi.size(), 0.0f), confidence(roi.size(), 0.0f);
        for (int y = 0; y < roi.height; ++y)
            for (int x = 0; x < roi.width; ++x) {
                if (!spot.own.at<uchar>(y, x))
                    continue;
                const cv::Vec3b p = image.at<cv::Vec3b>(roi.y + y, roi.x + x);
                cv::Vec3d v;
                for (int c = 0; c < 3; ++c)
                    v[c] = -std::log(std::max(1.0, double(p[c])) / spot.paper[c]);
                double a;
                float conf;
                if (p[1] >= kPaperShare * spot.paper[1]) {
                    a = v.dot(beta);
                    conf = 1.0f;
                } else {
                    const double vMean = (v[0] + v[1] + v[2]) / 3.0;
                    a = 0;
                    for (int c = 0; c < 3; ++c)
                        a += (v[c] - vMean) * (beta[c] - betaMean);
                    a /= std::max(betaSpread, 1e-6);
                    conf = float(kInkConfidence);
                }
                amount(y, x) = float(std::max(0.0, std::min(a, kMaxAbsorbance))) * conf;
                confidence(y, x) = conf;
            }
        cv::GaussianBlur(amount, amount, cv::Size(), kSmoothing);
        cv::GaussianBlur(confidence, confidence, cv::Size(), kSmoothing);
        for (int y = 0; y < roi.height; ++y) {
            cv::Vec3b* p = image.ptr<cv::Vec3b>(roi.y + y) + roi.x;
            const uchar* g = spot.own.ptr<uchar>(y);
            for (int x = 0; x < roi.width; ++x) {
                if (!g[x] || confidence(y, x) <= 1e-6f)
                    continue;
                const double a = amount(y, x) / confidence(y, x);
                for (int c = 0; c < 3; ++c)
                    p[x][c] = cv::saturate_cast<uchar>(p[x][c] * std::exp(a * beta[c]));
            }
        }
    }
}

}  // namespace veltro
