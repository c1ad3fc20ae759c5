// Crack removal: the crack is followed from one clicked end to the other by
// an angular search, its width is measured across the path, and the pixels
// found are rebuilt as blotches are.

#include "engine/Restoration.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace veltro {

namespace {

constexpr int kMaxHalfWidth = 8;       // widest crack measured: 2 * 8 + 1 pixels
constexpr float kStep = 2.0f;          // path step, pixels
constexpr int kLookAhead = 12;         // length of the segment scored per direction
constexpr int kSnapRadius = 4;         // how far a click may lie from the crack
constexpr int kEndReach = 12;          // how far the crack is followed beyond a click
constexpr float kContrast = 30.0f;     // brightness over the surroundings that counts fully
constexpr float kTurnPenalty = 0.3f;   // preference for heading straight to the end
constexpr float kCrackLikeness = 0.35f;
constexpr float kEdgeShare = 0.25f;
constexpr int kSoftEdge = 1;           // pixels added on each side for the blurred border
constexpr int kFillRing = 12;
// Where each stage ends, as a share of the time of the whole removal.
constexpr double kFieldShare = 0.4;
constexpr double kTraceShare = 0.5;
constexpr double kMarkShare = 0.55;

// How crack-like each pixel is (1 means clearly crack): at or above the white
// threshold, or brighter than the surroundings across the crack (a white
// top-hat), in units of kContrast grey levels.
struct CrackField {
    cv::Rect roi;          // in the picture
    cv::Mat1f likeness;    // over roi

    // Capped at 1 for the path search: a very bright spot beside the crack
    // must not pull the path off it.
    float Capped(cv::Point2f p) const { return std::min(1.0f, At(p)); }
    float At(cv::Point2f p) const
    {
        const int x = cvRound(p.x) - roi.x, y = cvRound(p.y) - roi.y;
        if (x < 0 || y < 0 || x >= likeness.cols || y >= likeness.rows)
            return 0.0f;
        return likeness(y, x);
    }
    cv::Point2f Clamp(cv::Point2f p) const
    {
        return cv::Point2f(std::min(std::max(p.x, float(roi.x)), float(roi.br().x - 1)),
                           std::min(std::max(p.y, float(roi.y)), float(roi.br().y - 1)));
    }
};

CrackField MakeField(const cv::Mat& image, const CrackParams& params)
{
    const int dist = static_cast<int>(cv::norm(params.end - params.start));
    const int margin = std::max(40, dist / 2);
    cv::Rect box(cv::Point(std::min(params.start.x, params.end.x), std::min(params.start.y, params.end.y)),
                 cv::Point(std::max(params.start.x, params.end.x) + 1, std::max(params.start.y, params.end.y) + 1));
    box = cv::Rect(box.x - margin, box.y - margin, box.width + 2 * margin, box.height + 2 * margin) &
          cv::Rect(0, 0, image.cols, image.rows);
    CrackField field;
    field.roi = box;
    cv::Mat grey, tophat;
    cv::cvtColor(image(box), grey, cv::COLOR_BGR2GRAY);
    const cv::Mat disc = cv::getStructuringElement(cv::MORPH_ELLIPSE,
                                                   cv::Size(2 * kMaxHalfWidth + 3, 2 * kMaxHalfWidth + 3));
    cv::morphologyEx(grey, tophat, cv::MORPH_TOPHAT, disc);
    tophat.convertTo(field.likeness, CV_32F, 1.0 / kContrast);
    // At or above the white threshold a pixel is crack, however flat its
    // surroundings.
    cv::Mat white = grey >= params.thrWhite;
    cv::Mat1f floor1 = cv::max(field.likeness, 1.0);
    floor1.copyTo(field.likeness, white);
    return field;
}

cv::Point2f Snap(const CrackField& field, cv::Point2f p)
{
    cv::Point2f best = p;
    float bestScore = 0.2f;
    for (int dy = -kSnapRadius; dy <= kSnapRadius; ++dy)
        for (int dx = -kSnapRadius; dx <= kSnapRadius; ++dx) {
            if (dx * dx + dy * dy > kSnapRadius * kSnapRadius)
                continue;
            const cv::Point2f q(p.x + dx, p.y + dy);
            const float s = field.Capped(q) - 0.03f * std::sqrt(float(dx * dx + dy * dy));
            if (s > bestScore) {
                bestScore = s;
                best = q;
            }
        }
    return field.Clamp(best);
}

int DirectionCount(const CrackParams& params)
{
    return static_cast<int>(std::floor((params.degStop - params.degStart) / params.stepAngle + 1e-9)) + 1;
}

std::vector<cv::Point2f> TraceOneWay(const CrackField& field, const CrackParams& params, const Progress& progress)
{
    const cv::Point2f target = Snap(field, cv::Point2f(params.end));
    cv::Point2f p = Snap(field, cv::Point2f(params.start));
    std::vector<cv::Point2f> path{p};
    const int directions = std::max(1, DirectionCount(params));
    // Pixels the path has passed (with a margin of one pixel).
    struct Visited {
        cv::Rect roi;
        cv::Mat1b mask;
        bool at(cv::Point2f q) const
        {
            const int x = cvRound(q.x) - roi.x, y = cvRound(q.y) - roi.y;
            return x >= 0 && y >= 0 && x < mask.cols && y < mask.rows && mask(y, x);
        }
        void mark(cv::Point2f q)
        {
            cv::circle(mask, cv::Point(cvRound(q.x) - roi.x, cvRound(q.y) - roi.y), 1, cv::Scalar(255), cv::FILLED);
        }
    } visited{field.roi, cv::Mat1b::zeros(field.roi.size())};
    const int maxSteps = static_cast<int>(4 * cv::norm(target - p) / kStep) + 20;
    // The path usually runs about straight to the end: the distance left
    // measures the advance.
    const double distance = std::max(1.0, cv::norm(target - p));
    for (int step = 0; step < maxSteps; ++step) {
        progress.Report(1.0 - cv::norm(target - p) / distance);
        const cv::Point2f d = target - p;
        if (std::hypot(d.x, d.y) <= 1.5f * kStep)
            break;
        const double toward = std::atan2(d.y, d.x);
        double bestAngle = toward;
        float bestScore = -1e9f;
        for (int i = 0; i < directions; ++i) {
            const double deg = params.degStart + i * params.stepAngle;
            const double a = toward + deg * CV_PI / 180.0;
            const cv::Point2f dir(float(std::cos(a)), float(std::sin(a)));
            float s = 0;
            for (int j = 1; j <= kLookAhead; ++j) {
                const cv::Point2f q = p + dir * float(j);
                // Ground already covered does not count: the path must not
                // wander back and forth over the same stretch.
                if (j > 2 && visited.at(q))
                    continue;
                s += field.Capped(q);
            }
            s = s / kLookAhead - kTurnPenalty * float((deg / 90.0) * (deg / 90.0));
            if (s > bestScore) {
                bestScore = s;
                bestAngle = a;
            }
        }
        visited.mark(p);
        p = field.Clamp(p + cv::Point2f(float(std::cos(bestAngle)), float(std::sin(bestAngle))) * kStep);
        path.push_back(p);
    }
    path.push_back(target);
    // The clicks may fall short of the crack's ends: follow it on beyond
    // both ends while it is about as bright as along the path.
    std::vector<float> along;
    for (const cv::Point2f& q : path)
        along.push_back(field.At(q));
    std::nth_element(along.begin(), along.begin() + along.size() / 2, along.end());
    const float endLikeness = std::max(kCrackLikeness, 0.5f * along[along.size() / 2]);
    auto extend = [&](cv::Point2f end, cv::Point2f inner) {
        std::vector<cv::Point2f> more;
        cv::Point2f d = end - inner;
        const float len = std::hypot(d.x, d.y);
        if (len < 1e-3f)
            return more;
        d /= len;
        cv::Point2f p = end;
        for (int i = 0; i < kEndReach; ++i) {
            const cv::Point2f n(-d.y, d.x);
            cv::Point2f next = p + d;
            for (float o : {-1.0f, 1.0f})
                if (field.At(p + d + n * o) > field.At(next))
                    next = p + d + n * o;
            if (field.At(next) < endLikeness)
                break;
            d = next - p;
            d /= std::hypot(d.x, d.y);
            p = next;
            more.push_back(p);
        }
        return more;
    };
    const size_t k = std::min<size_t>(3, path.size() - 1);
    std::vector<cv::Point2f> head = extend(path.front(), path[k]);
    std::vector<cv::Point2f> tail = extend(path.back(), path[path.size() - 1 - k]);
    std::reverse(head.begin(), head.end());
    head.insert(head.end(), path.begin(), path.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// Mean crack-likeness along a path, sampled every pixel.
float PathLikeness(const CrackField& field, const std::vector<cv::Point2f>& path)
{
    double sum = 0;
    int count = 0;
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        const cv::Point2f d = path[i + 1] - path[i];
        const float len = std::hypot(d.x, d.y);
        for (float t = 0; t < len; t += 1.0f) {
            sum += field.Capped(path[i] + d * (t / len));
            ++count;
        }
    }
    return count ? float(sum / count) : 0.0f;
}

// The crack is followed from each end towards the other; a greedy search
// that strays where the crack crosses bright picture detail usually stays
// on it from the other side, so the more crack-like of the two is kept.
std::vector<cv::Point2f> Trace(const CrackField& field, const CrackParams& params,
                               const Progress& progress = Progress())
{
    std::vector<cv::Point2f> forward = TraceOneWay(field, params, progress.Part(0, 2));
    CrackParams reversed = params;
    std::swap(reversed.start, reversed.end);
    std::vector<cv::Point2f> backward = TraceOneWay(field, reversed, progress.Part(1, 2));
    std::reverse(backward.begin(), backward.end());
    return PathLikeness(field, backward) > PathLikeness(field, forward) ? backward : forward;
}

// Marks the crack across the path: at each sample the crack pixels on both
// sides of the centre, plus one pixel for its soft edge.
cv::Mat MeasureAndMark(const CrackField& field, const std::vector<cv::Point2f>& path, cv::Size size)
{
    struct Sample { cv::Point2f centre, normal; int left, right; };
    std::vector<Sample> samples;
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        const cv::Point2f a = path[i], b = path[i + 1];
        const float len = std::hypot(b.x - a.x, b.y - a.y);
        if (len < 1e-3f)
            continue;
        const cv::Point2f t = (b - a) / len, n(-t.y, t.x);
        for (float s = 0; s < len; s += 0.5f) {
            cv::Point2f c = a + t * s;
            int bestOffset = 0;
            for (int o = -2; o <= 2; ++o)
                if (field.At(c + n * float(o)) > field.At(c + n * float(bestOffset)))
                    bestOffset = o;
            c += n * float(bestOffset);
            // Across the crack, its pixels are those at least a share of the
            // centre's brightness above the surroundings; bright picture
            // texture beside a crack is seldom that bright.
            int left = 0, right = 0;
            const float centreLikeness = field.At(c);
            if (centreLikeness >= kCrackLikeness) {
                const float edge = std::max(kCrackLikeness, kEdgeShare * centreLikeness);
                while (left < kMaxHalfWidth && field.At(c - n * float(left + 1)) >= edge)
                    ++left;
                while (right < kMaxHalfWidth && field.At(c + n * float(right + 1)) >= edge)
                    ++right;
            }
            samples.push_back({c, n, left, right});
        }
    }
    // A width far above its neighbours' is bright picture content beside the
    // crack, not the crack: limit each to the local median plus two.
    std::vector<int> lefts, rights;
    for (const Sample& s : samples) {
        lefts.push_back(s.left);
        rights.push_back(s.right);
    }
    // A crack keeps about the same width along its length.
    std::vector<int> allLefts = lefts, allRights = rights;
    int globalLeft = 0, globalRight = 0;
    if (!allLefts.empty()) {
        std::nth_element(allLefts.begin(), allLefts.begin() + allLefts.size() / 2, allLefts.end());
        std::nth_element(allRights.begin(), allRights.begin() + allRights.size() / 2, allRights.end());
        globalLeft = allLefts[allLefts.size() / 2];
        globalRight = allRights[allRights.size() / 2];
    }
    const int half = 8;
    cv::Mat mask = cv::Mat::zeros(size, CV_8UC1);
    for (size_t i = 0; i < samples.size(); ++i) {
        const size_t lo = i >= half ? i - half : 0, hi = std::min(samples.size(), i + half + 1);
        std::vector<int> l(lefts.begin() + lo, lefts.begin() + hi), r(rights.begin() + lo, rights.begin() + hi);
        std::nth_element(l.begin(), l.begin() + l.size() / 2, l.end());
        std::nth_element(r.begin(), r.begin() + r.size() / 2, r.end());
        const Sample& s = samples[i];
        const int left = std::min({s.left, l[l.size() / 2] + 2, globalLeft}) + kSoftEdge;
        const int right = std::min({s.right, r[r.size() / 2] + 2, globalRight}) + kSoftEdge;
        for (float o = -float(left); o <= float(right); o += 0.5f) {
            const cv::Point q(cvRound(s.centre.x + s.normal.x * o), cvRound(s.centre.y + s.normal.y * o));
            if (q.x >= 0 && q.y >= 0 && q.x < size.width && q.y < size.height)
                mask.at<uchar>(q) = 255;
        }
    }
    return mask;
}

}  // namespace

std::vector<cv::Point2f> TraceCrack(const cv::Mat& image, const CrackParams& params)
{
    CV_Assert(image.type() == CV_8UC3 && !image.empty());
    CV_Assert(params.stepAngle > 0 && params.degStart <= params.degStop);
    return Trace(MakeField(image, params), params);
}

void RemoveCrack(cv::Mat& image, const CrackParams& params, cv::Mat* crackMask, const Progress& progress)
{
    CV_Assert(image.type() == CV_8UC3 && !image.empty());
    CV_Assert(params.stepAngle > 0 && params.degStart <= params.degStop);
    const CrackField field = MakeField(image, params);
    progress.Report(kFieldShare);
    const std::vector<cv::Point2f> path = Trace(field, params, progress.Sub(kFieldShare, kTraceShare));
    const cv::Mat mask = MeasureAndMark(field, path, image.size());
    progress.Report(kMarkShare);
    FillDamage(image, mask, kFillRing, progress.Sub(kMarkShare, 1.0));
    if (crackMask)
        *crackMask = mask;
}

}  // namespace veltro
