// Foxing removal. A fox spot is a stain: it takes away a share of the light
// of whatever lies beneath it (paper, ink, a sky), blue most and red least:
// p = b (1 - a beta) per channel, b the unstained colour, a the amount of
// stain and beta its colour. Neutral detail (ink, shadows) takes the same
// share of every channel, so the amount shows in how much more blue than
// red is taken: the stain is measured on that alone, smoothed, and divided
// out, and the detail under it stays.
//
// Spots are found where a pixel has lost more of its blue than of its red,
// against its surroundings' colour, by more than AMP of full scale, on a
// light background (paper, a sky, a border, light cloth), at two sizes of
// surroundings (small dense spots and large faint stains). A spot must be a
// compact blot that stands clear of its surroundings' own colour variation:
// the grain of wood or the pattern of a cloth has blots of every colour,
// none standing out.

#include "engine/Restoration.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace veltro {

namespace {

constexpr int kWorkSide = 1024;            // surroundings are measured on a copy this large
constexpr int kSmallWindow = 41;           // surroundings of small spots, pixels (full size, up to kWorkSide)
constexpr int kLargeWindow = 161;          //   and of large stains
constexpr int kLightLevel = 100;           // the background's brightest channel at least this
constexpr int kNoise = 6;                  // grey levels of scanning and JPEG noise
constexpr int kMinSpotArea = 12;           // pixels; smaller departures are specks
constexpr double kMaxSpotShare = 0.01;     // larger "spots" are picture content
constexpr double kMaxElongation = 3.0;
constexpr double kMinSolidity = 0.7;
constexpr double kMinContrast = 2.5;       // spot against its ring's colour variation (robust deviations)
constexpr double kContrastFloor = 0.03;  // a spot's loss of blue beyond red stands out by at least
constexpr int kMaxReach = 256;            // farthest a spot is grown or its ring reaches, pixels
constexpr int kMinRing = 4;                // ring measured around each spot, pixels
constexpr double kBackgroundTolerance = 0.12;  // of the background's colour: more is ink or detail
constexpr double kInkShare = 0.6;          // darker than this share of the background: ink
constexpr double kMinRedShare = 0.08;      // of the blue a stain takes away, at least, of the red
constexpr double kMaxRedShare = 0.5;       //   and at most
constexpr double kMaxGreenShare = 0.85;    //   at most of the green
constexpr double kGreenBetween = 0.15;     // green at least this far from red towards blue
constexpr double kFade = 0.1;              // share of its strength at which a stain has faded out
constexpr double kSmoothing = 1.0;         // Gaussian sigma of the stain amount, pixels
constexpr double kPaperDetail = 0.06;      // neutral loss below which a pixel is bare paper
constexpr double kDetailConfidence = 0.15; // weight of the stain measured under detail
constexpr double kMaxAmount = 0.9;
// Where each stage ends, as a share of the time of the whole removal.
constexpr double kBackgroundDone = 0.3;
constexpr double kDetectDone = 0.6;
constexpr double kMeasureDone = 0.8;

// The colour of the surroundings of every pixel: a per-channel median over
// `window` pixels, on a reduced copy, brought back to full size.
cv::Mat Surroundings(const cv::Mat& small, cv::Size size, double factor, int window)
{
    int k = static_cast<int>(window / factor) | 1;
    k = std::max(3, std::min(k, (std::min(small.cols, small.rows) - 1) | 1));
    cv::Mat median, full;
    cv::medianBlur(small, median, k);
    cv::resize(median, full, size, 0, 0, cv::INTER_LINEAR);
    return full;
}

// Pixels that have lost a share of their blue larger than the share of
// their red by more than `amp`, against `background`, and more of their
// green than of their red (as a brown stain takes them), never brighter
// beyond noise, on a light background.
void Candidates(const cv::Mat& image, const cv::Mat& background, double amp, cv::Mat& out)
{
    for (int y = 0; y < image.rows; ++y) {
        const cv::Vec3b* p = image.ptr<cv::Vec3b>(y);
        const cv::Vec3b* b = background.ptr<cv::Vec3b>(y);
        uchar* o = out.ptr<uchar>(y);
        for (int x = 0; x < image.cols; ++x) {
            if (std::max({b[x][0], b[x][1], b[x][2]}) < kLightLevel)
                continue;
            float lost[3], noise[3];
            for (int c = 0; c < 3; ++c) {
                const float bc = std::max<float>(b[x][c], 16.0f);
                lost[c] = 1.0f - p[x][c] / bc;
                noise[c] = kNoise / bc;
            }
            if (lost[0] - lost[2] > amp && lost[2] >= -noise[2] && lost[1] >= lost[2] - noise[1] &&
                lost[0] >= lost[1] - noise[0])
                o[x] = 255;
        }
    }
}

// Median and robust deviation (1.48 median absolute deviation) of values.
std::pair<double, double> Robust(std::vector<float>& v)
{
    if (v.empty())
        return {0, 0};
    const size_t m = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + m, v.end());
    const double median = v[m];
    std::vector<float> dev(v.size());
    for (size_t i = 0; i < v.size(); ++i)
        dev[i] = std::abs(v[i] - float(median));
    std::nth_element(dev.begin(), dev.begin() + m, dev.end());
    return {median, 1.48 * dev[m]};
}

}  // namespace

void RemoveFoxing(cv::Mat& image, int dist, int cost, double amp, cv::Mat* foxMask, const Progress& progress)
{
    CV_Assert(image.type() == CV_8UC3);
    if (foxMask)
        *foxMask = cv::Mat::zeros(image.size(), CV_8UC1);
    if (image.empty() || !(amp > 0)) {
        progress.Report(1.0);
        return;
    }
    // A spot is grown and its surroundings measured within kMaxReach
    // pixels at most, whatever the distances asked (the picture's diagonal
    // and more mean as far as that).
    const int longSide = std::max(image.cols, image.rows);
    dist = std::clamp(dist, 0, std::min(longSide, kMaxReach));
    cost = std::clamp(cost, 1, std::min(longSide, kMaxReach));

    const double factor = std::max(1.0, longSide / double(kWorkSide));
    cv::Mat small;
    if (factor > 1.0)
        cv::resize(image, small, cv::Size(), 1.0 / factor, 1.0 / factor, cv::INTER_AREA);
    else
        small = image;
    const cv::Mat near = Surroundings(small, image.size(), factor, kSmallWindow);
    const cv::Mat wide = Surroundings(small, image.size(), factor, kLargeWindow);
    small.release();
    progress.Report(kBackgroundDone);

    // Candidates against the near surroundings (small spots) and the wide
    // ones (large stains, which fill their near surroundings).
    cv::Mat spots = cv::Mat::zeros(image.size(), CV_8UC1);
    Candidates(image, near, std::min(amp, 1.0), spots);
    Candidates(image, wide, std::min(amp, 1.0), spots);
    // Lone pixels and specks are noise and picture texture, not stains.
    cv::medianBlur(spots, spots, 3);
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(spots, labels, stats, centroids, 8, CV_32S);
    progress.Report(kDetectDone);

    // Each blot is judged against its own ring; the stain's colour comes
    // from the blots kept.
    const cv::Rect whole(0, 0, image.cols, image.rows);
    const double maxArea = std::max(1500.0, kMaxSpotShare * double(image.total()));
    const int ringWidth = std::max(kMinRing, cost);
    struct Spot {
        cv::Rect roi;       // the blot's box, widened by DIST and the ring
        cv::Mat own;        // the blot grown by DIST, over roi
        cv::Mat ring;       // flawless pixels around it, over roi
    };
    std::vector<Spot> found;
    cv::Vec3d stainSum(0, 0, 0);
    double stainWeight = 0;
    const Progress measuring = progress.Sub(kDetectDone, kMeasureDone);
    for (int i = 1; i < count; ++i) {
        measuring.Report(i, count);
        const int area = stats.at<int>(i, cv::CC_STAT_AREA);
        if (area < kMinSpotArea || area > maxArea)
            continue;
        const cv::Rect box(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                           stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT));
        const cv::Mat shape = labels(box) == i;
        // Fox spots are compact blots; long or ragged shapes are edges and
        // texture of the picture.
        std::vector<std::vector<cv::Point>> contours;
        cv::findContours(shape.clone(), contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
        if (contours.empty())
            continue;
        const auto& contour = *std::max_element(contours.begin(), contours.end(), [](const auto& a, const auto& b) {
            return a.size() < b.size();
        });
        const cv::RotatedRect rect = cv::minAreaRect(contour);
        const double longSideR = std::max(rect.size.width, rect.size.height);
        const double shortSideR = std::max(1.0f, std::min(rect.size.width, rect.size.height));
        std::vector<cv::Point> hull;
        cv::convexHull(contour, hull);
        const double hullArea = cv::contourArea(hull);
        if (longSideR / shortSideR > kMaxElongation || (hullArea > 0 && area / hullArea < kMinSolidity))
            continue;
        // Rings at every distance from the blot: its stain fades out over a
        // few of them. The surroundings are the rings farther out than the
        // stain reaches: their colour is the background's, and their
        // pixels of about that colour (not ink, not detail) tell how much
        // its red and blue vary.
        const double radius = std::sqrt(area / CV_PI);
        const int farFrom = dist + static_cast<int>(radius) + ringWidth + 2;
        const int reach = farFrom + ringWidth + 4;
        const cv::Rect far = cv::Rect(box.x - reach, box.y - reach, box.width + 2 * reach, box.height + 2 * reach) &
                             whole;
        const cv::Mat blotFar = labels(far) == i;
        cv::Mat1f distance;
        cv::distanceTransform(blotFar == 0, distance, cv::DIST_L2, cv::DIST_MASK_PRECISE);
        const cv::Mat others = (spots(far) != 0) & ~blotFar;
        std::vector<float> channel[3];
        for (int y = 0; y < far.height; ++y) {
            const cv::Vec3b* p = image.ptr<cv::Vec3b>(far.y + y) + far.x;
            for (int x = 0; x < far.width; ++x)
                if (distance(y, x) > farFrom && !others.at<uchar>(y, x))
                    for (int c = 0; c < 3; ++c)
                        channel[c].push_back(p[x][c]);
        }
        if (channel[0].size() < 16)
            continue;
        cv::Vec3d background;
        for (int c = 0; c < 3; ++c)
            background[c] = std::max(1.0, Robust(channel[c]).first);
        const double backgroundLevel = std::max({background[0], background[1], background[2]});
        if (backgroundLevel < kLightLevel)
            continue;
        auto ink = [&](const cv::Vec3b& p) { return std::max({p[0], p[1], p[2]}) < kInkShare * backgroundLevel; };
        std::vector<std::vector<float>> byDistance(reach + 2);
        std::vector<float> inside, around;
        for (int y = 0; y < far.height; ++y) {
            const cv::Vec3b* p = image.ptr<cv::Vec3b>(far.y + y) + far.x;
            for (int x = 0; x < far.width; ++x) {
                if (others.at<uchar>(y, x) || ink(p[x]))
                    continue;
                // The share of blue lost beyond the share of red.
                const float d = float(p[x][2] / background[2] - p[x][0] / background[0]);
                const int k = static_cast<int>(std::ceil(distance(y, x)));
                if (k == 0)
                    inside.push_back(d);
                else if (k > farFrom)
                    around.push_back(d);
                else
                    byDistance[k].push_back(d);
            }
        }
        if (around.size() < 8 || inside.size() < 4)
            continue;
        const auto [ringMedian, ringSpread] = Robust(around);
        const double spotMedian = Robust(inside).first;
        // The colour just around the blot (the spot may lie where two
        // backgrounds meet: the nearer one is its own).
        auto nearColour = [&](float from, float to, cv::Vec3d& colour) {
            std::vector<float> ch[3];
            for (int y = 0; y < far.height; ++y) {
                const cv::Vec3b* p = image.ptr<cv::Vec3b>(far.y + y) + far.x;
                for (int x = 0; x < far.width; ++x)
                    if (distance(y, x) > from && distance(y, x) <= to && !others.at<uchar>(y, x) && !ink(p[x]))
                        for (int c = 0; c < 3; ++c)
                            ch[c].push_back(p[x][c]);
            }
            if (ch[0].size() < 8)
                return false;
            for (int c = 0; c < 3; ++c)
                colour[c] = std::max(1.0, Robust(ch[c]).first);
            return true;
        };
        cv::Vec3d nearby = background;
        nearColour(1.0f, float(1 + ringWidth), nearby);
        // A brown stain takes away several times more blue than red, but
        // some red, and green in between; a dark object (a bird against
        // the sky) takes away about as much of each, and a pattern of
        // orange or yellow no red or no green.
        std::vector<float> lost[3];
        for (int y = 0; y < far.height; ++y) {
            const cv::Vec3b* p = image.ptr<cv::Vec3b>(far.y + y) + far.x;
            for (int x = 0; x < far.width; ++x)
                if (blotFar.at<uchar>(y, x))
                    for (int c = 0; c < 3; ++c)
                        lost[c].push_back(float(1.0 - p[x][c] / nearby[c]));
        }
        const double lostB = Robust(lost[0]).first, lostG = Robust(lost[1]).first, lostR = Robust(lost[2]).first;
        const bool stainColour = lostB > 0 && lostR >= kMinRedShare * lostB && lostR <= kMaxRedShare * lostB &&
                                 lostG <= kMaxGreenShare * lostB && lostG >= lostR + kGreenBetween * (lostB - lostR);
        const bool kept = stainColour && spotMedian - ringMedian >= kMinContrast * ringSpread + kContrastFloor;
        if (!kept)
            continue;
        // Grown by DIST, and further while the stain still shows.
        int grow = dist;
        const double fade = std::max(0.01, kFade * (spotMedian - ringMedian));
        for (int k = 1; k <= farFrom - ringWidth; ++k) {
            if (byDistance[k].size() < 4 || Robust(byDistance[k]).first - ringMedian < fade)
                break;
            grow = std::max(grow, k);
        }
        // The flawless ring beyond, of the colour around the spot.
        const cv::Mat grown = distance <= float(grow);
        cv::Mat ring = (distance > float(grow)) & (distance <= float(grow + ringWidth)) & ~others;
        if (!nearColour(float(grow), float(grow + ringWidth), nearby))
            continue;
        for (int y = 0; y < far.height; ++y) {
            const cv::Vec3b* p = image.ptr<cv::Vec3b>(far.y + y) + far.x;
            for (int x = 0; x < far.width; ++x)
                for (int c = 0; c < 3; ++c)
                    if (std::abs(p[x][c] - nearby[c]) > kBackgroundTolerance * nearby[c] + kNoise)
                        ring.at<uchar>(y, x) = 0;
        }
        if (cv::countNonZero(ring) < 8)
            ring = (distance > float(farFrom)) & ~others;
        found.push_back({far, grown, ring});
        // Its colour: what it takes away of each channel, on paper.
        for (int y = 0; y < far.height; ++y) {
            const cv::Vec3b* p = image.ptr<cv::Vec3b>(far.y + y) + far.x;
            for (int x = 0; x < far.width; ++x) {
                if (!blotFar.at<uchar>(y, x) || ink(p[x]))
                    continue;
                cv::Vec3d t;
                for (int c = 0; c < 3; ++c)
                    t[c] = 1.0 - p[x][c] / nearby[c];
                const double w = std::max(0.0, t[0] - t[2]);
                stainSum += t * w;
                stainWeight += w;
            }
        }
    }
    if (found.empty()) {
        progress.Report(1.0);
        return;
    }
    // The stain's colour, normalised so that blue takes the largest share;
    // a typical brown if too little was seen.
    cv::Vec3d beta(0.8, 0.48, 0.22);
    if (stainWeight > 20 && stainSum[0] > 0 && stainSum[0] > stainSum[2]) {
        beta = stainSum / stainSum[0] * 0.8;
        for (int c = 0; c < 3; ++c)
            beta[c] = std::clamp(beta[c], 0.0, 1.0);
    }

    const Progress removing = progress.Sub(kMeasureDone, 1.0);
    for (size_t i = 0; i < found.size(); ++i) {
        removing.Report(static_cast<long long>(i), static_cast<long long>(found.size()));
        const Spot& spot = found[i];
        const cv::Rect roi = spot.roi;
        // The unstained colour across the spot: a plane fitted to its ring.
        cv::Matx33d m = cv::Matx33d::zeros();
        cv::Matx33d rhs = cv::Matx33d::zeros();  // one column per channel
        for (int y = 0; y < roi.height; ++y) {
            const cv::Vec3b* p = image.ptr<cv::Vec3b>(roi.y + y) + roi.x;
            for (int x = 0; x < roi.width; ++x) {
                if (!spot.ring.at<uchar>(y, x))
                    continue;
                const double f[3] = {1.0, (x - roi.width / 2.0) / 64.0, (y - roi.height / 2.0) / 64.0};
                for (int a = 0; a < 3; ++a) {
                    for (int b = 0; b < 3; ++b)
                        m(a, b) += f[a] * f[b];
                    for (int c = 0; c < 3; ++c)
                        rhs(a, c) += f[a] * p[x][c];
                }
            }
        }
        // A tilted plane only where the ring surrounds the spot; along the
        // picture's edge the ring's mean colour.
        int quadrants = 0;
        {
            const cv::Mat ring = spot.ring;
            const int hx = roi.width / 2, hy = roi.height / 2;
            for (const cv::Rect q : {cv::Rect(0, 0, hx, hy), cv::Rect(hx, 0, roi.width - hx, hy),
                                     cv::Rect(0, hy, hx, roi.height - hy), cv::Rect(hx, hy, roi.width - hx, roi.height - hy)})
                quadrants += cv::countNonZero(ring(q)) >= 4;
        }
        cv::Matx33d plane = cv::Matx33d::zeros();
        if (quadrants < 4 || !cv::solve(m, rhs, plane, cv::DECOMP_SVD)) {
            for (int c = 0; c < 3; ++c) {
                plane(0, c) = rhs(0, c) / std::max(1.0, m(0, 0));
                plane(1, c) = plane(2, c) = 0;
            }
        }
        // The stain's amount per pixel. What a pixel has lost of each
        // channel is a beta + k (1, 1, 1): the stain, and neutral detail
        // (ink, a shadow). On paper (k about 0) all three channels tell a;
        // under detail only what differs between them does, less surely.
        // Smoothed with those confidences.
        const double bb = beta.dot(beta), b1 = beta[0] + beta[1] + beta[2];
        const double det = 3 * bb - b1 * b1;
        cv::Mat1f amount(roi.size(), 0.0f), weight(roi.size(), 0.0f);
        for (int y = 0; y < roi.height; ++y) {
            const cv::Vec3b* p = image.ptr<cv::Vec3b>(roi.y + y) + roi.x;
            for (int x = 0; x < roi.width; ++x) {
                if (!spot.own.at<uchar>(y, x))
                    continue;
                const double f[3] = {1.0, (x - roi.width / 2.0) / 64.0, (y - roi.height / 2.0) / 64.0};
                cv::Vec3d t;
                for (int c = 0; c < 3; ++c) {
                    const double b = std::max(1.0, plane(0, c) * f[0] + plane(1, c) * f[1] + plane(2, c) * f[2]);
                    t[c] = 1.0 - p[x][c] / b;
                }
                const double bt = beta.dot(t), t1 = t[0] + t[1] + t[2];
                double a = (3 * bt - b1 * t1) / det;
                const double k = (bb * t1 - b1 * bt) / det;
                float confidence = float(kDetailConfidence);
                if (std::abs(k) <= kPaperDetail) {
                    a = bt / bb;
                    confidence = 1.0f;
                }
                amount(y, x) = float(std::clamp(a, 0.0, kMaxAmount)) * confidence;
                weight(y, x) = confidence;
            }
        }
        cv::GaussianBlur(amount, amount, cv::Size(), kSmoothing);
        cv::GaussianBlur(weight, weight, cv::Size(), kSmoothing);
        for (int y = 0; y < roi.height; ++y) {
            cv::Vec3b* p = image.ptr<cv::Vec3b>(roi.y + y) + roi.x;
            for (int x = 0; x < roi.width; ++x) {
                if (!spot.own.at<uchar>(y, x) || weight(y, x) <= 1e-3f)
                    continue;
                const double a = std::min(double(amount(y, x) / weight(y, x)), kMaxAmount);
                bool changed = false;
                for (int c = 0; c < 3; ++c) {
                    const uchar v = cv::saturate_cast<uchar>(p[x][c] / std::max(0.05, 1.0 - a * beta[c]));
                    changed |= v != p[x][c];
                    p[x][c] = v;
                }
                if (changed && foxMask)
                    foxMask->at<uchar>(roi.y + y, roi.x + x) = 255;
            }
        }
    }
    progress.Report(1.0);
}

}  // namespace veltro
