// Crack removal: the crack is followed from one clicked end to the other by
// an angular search, its width is measured across the path, and only its
// pixels are rebuilt, as blotches are.
//
// A crack shows the print's white base: a thin line brighter than the
// picture on both of its sides. Its likeness at a point, for a direction of
// travel, is how much brighter the point is than both sides at a few pixels
// across (the lesser of the two), in units of kContrast grey levels; a point
// at or above THRWHITE counts fully when both sides are below it. Wide bright
// areas and the edges of bright objects are not brighter than both of their
// sides, and do not pull the path off the crack. Where the crack is not
// found along most of the path, nothing is changed.

#include "engine/Restoration.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace veltro {

namespace {

constexpr int kMaxHalfWidth = 6;       // widest crack measured: 2 * 6 + 1 pixels
constexpr float kStep = 2.0f;          // path step, pixels
constexpr int kLookAhead = 12;         // length of the segment scored per direction
constexpr int kStuckSteps = 6;         // steps without coming closer to the end before heading straight on
constexpr int kSnapRadius = 4;         // how far a click may lie from the crack
constexpr int kEndReach = 12;          // how far the crack is followed beyond a click
constexpr float kContrast = 24.0f;     // brightness over both sides that counts fully
constexpr float kTurnPenalty = 0.3f;   // preference for heading straight to the end
constexpr float kCrackLikeness = 0.3f; // a point at least this crack-like is crack
constexpr double kPresence = 0.7;      // share of the path that must be crack
constexpr double kMaxDetour = 1.3;     // longest path for a crack, against the straight line
constexpr float kMinRun = 10.0f;       // shortest stretch of crack that counts, pixels
constexpr float kBridge = 24.0f;       // longest stretch without crack bridged, pixels
constexpr float kEdgeShare = 0.3f;     // across the crack: its pixels are this far up from the sides
constexpr int kFillRing = 12;
constexpr int kAcross = 6;             // pixels looked at on each side, from 3 on
constexpr int kAcrossRank = 8;         // of the 12: the crack is brighter than this many
// Where each stage ends, as a share of the time of the whole removal.
constexpr double kFieldShare = 0.2;
constexpr double kTraceShare = 0.5;
constexpr double kMarkShare = 0.55;

// The grey levels around the two clicks, and which of them are white.
struct CrackField {
    cv::Rect roi;          // in the picture
    cv::Mat1f grey;        // over roi
    float white = 245;

    float At(cv::Point2f p) const
    {
        const float x = std::clamp(p.x - roi.x, 0.0f, float(grey.cols - 1));
        const float y = std::clamp(p.y - roi.y, 0.0f, float(grey.rows - 1));
        const int x0 = std::min(static_cast<int>(x), std::max(0, grey.cols - 2));
        const int y0 = std::min(static_cast<int>(y), std::max(0, grey.rows - 2));
        const int x1 = std::min(x0 + 1, grey.cols - 1), y1 = std::min(y0 + 1, grey.rows - 1);
        const float fx = std::min(1.0f, x - x0), fy = std::min(1.0f, y - y0);
        return (grey(y0, x0) * (1 - fx) + grey(y0, x1) * fx) * (1 - fy) +
               (grey(y1, x0) * (1 - fx) + grey(y1, x1) * fx) * fy;
    }
    bool Inside(cv::Point2f p) const
    {
        return p.x >= roi.x && p.y >= roi.y && p.x <= roi.br().x - 1 && p.y <= roi.br().y - 1;
    }
    // How crack-like p is, travelling across the normal n: 0..1. A crack is
    // brighter than most of what lies across it within a few pixels on
    // both sides (a light hair among light hairs, or paper between
    // letters, is not), by kContrast grey levels to count fully; white
    // where most of that is not white counts fully too.
    float Likeness(cv::Point2f p, cv::Point2f n) const
    {
        if (!Inside(p))
            return 0.0f;
        float across[2 * kAcross];
        int k = 0;
        for (int d = 3; d < 3 + kAcross; ++d) {
            across[k++] = At(p + n * float(d));
            across[k++] = At(p - n * float(d));
        }
        std::nth_element(across, across + kAcrossRank, across + 2 * kAcross);
        const float level = across[kAcrossRank], g = At(p);
        if (g >= white && level < white)
            return 1.0f;
        return std::clamp((g - level) / kContrast, 0.0f, 1.0f);
    }
    cv::Point2f Clamp(cv::Point2f p) const
    {
        return cv::Point2f(std::clamp(p.x, float(roi.x), float(roi.br().x - 1)),
                           std::clamp(p.y, float(roi.y), float(roi.br().y - 1)));
    }
};

CrackField MakeField(const cv::Mat& image, const CrackParams& params)
{
    const double length = cv::norm(params.end - params.start);
    const int margin = static_cast<int>(std::min(std::max(40.0, length / 2), double(image.cols + image.rows)));
    cv::Rect box(cv::Point(std::min(params.start.x, params.end.x), std::min(params.start.y, params.end.y)),
                 cv::Point(std::max(params.start.x, params.end.x) + 1, std::max(params.start.y, params.end.y) + 1));
    box = cv::Rect(box.x - margin, box.y - margin, box.width + 2 * margin, box.height + 2 * margin) &
          cv::Rect(0, 0, image.cols, image.rows);
    CrackField field;
    field.roi = box;
    field.white = static_cast<float>(params.thrWhite);
    cv::Mat grey;
    cv::cvtColor(image(box), grey, cv::COLOR_BGR2GRAY);
    grey.convertTo(field.grey, CV_32F);
    return field;
}

cv::Point2f Normal(cv::Point2f d)
{
    const float len = std::hypot(d.x, d.y);
    return len > 1e-6f ? cv::Point2f(-d.y / len, d.x / len) : cv::Point2f(0, 1);
}

// The most crack-like point within kSnapRadius of a click, for a crack
// heading towards `towards`.
cv::Point2f Snap(const CrackField& field, cv::Point2f p, cv::Point2f towards)
{
    const cv::Point2f n = Normal(towards - p);
    cv::Point2f best = p;
    float bestScore = kCrackLikeness;
    for (int dy = -kSnapRadius; dy <= kSnapRadius; ++dy)
        for (int dx = -kSnapRadius; dx <= kSnapRadius; ++dx) {
            if (dx * dx + dy * dy > kSnapRadius * kSnapRadius)
                continue;
            const cv::Point2f q(p.x + dx, p.y + dy);
            const float s = field.Likeness(q, n) - 0.03f * std::sqrt(float(dx * dx + dy * dy));
            if (s > bestScore) {
                bestScore = s;
                best = q;
            }
        }
    return field.Clamp(best);
}

int DirectionCount(const CrackParams& params)
{
    const double count = std::floor((params.degStop - params.degStart) / params.stepAngle + 1e-9) + 1;
    // A tiny step over a wide span would take forever: at most one direction
    // per tenth of a degree.
    return static_cast<int>(std::clamp(count, 1.0, 3601.0));
}

std::vector<cv::Point2f> TraceOneWay(const CrackField& field, const CrackParams& params, const Progress& progress)
{
    const cv::Point2f clickStart(params.start), clickEnd(params.end);
    const cv::Point2f target = Snap(field, clickEnd, clickStart);
    cv::Point2f p = Snap(field, clickStart, clickEnd);
    std::vector<cv::Point2f> path{p};
    const int directions = DirectionCount(params);
    const double stepAngle = directions > 1 ? (params.degStop - params.degStart) / (directions - 1) : 0.0;
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
    // A crack is gently curved: a path much longer than the straight line
    // has lost it.
    const int maxSteps = static_cast<int>(2 * cv::norm(target - p) / kStep) + 10;
    // The path usually runs about straight to the end: the distance left
    // measures the advance.
    const double distance = std::max(1.0, cv::norm(target - p));
    double closest = cv::norm(target - p);
    int lastProgress = 0;
    for (int step = 0; step < maxSteps; ++step) {
        progress.Report(1.0 - cv::norm(target - p) / distance);
        const cv::Point2f d = target - p;
        // Near the end, straight to it.
        if (std::hypot(d.x, d.y) <= kLookAhead / 2.0f)
            break;
        const double toward = std::atan2(d.y, d.x);
        double bestAngle = toward;
        float bestScore = -1e9f;
        for (int i = 0; i < directions; ++i) {
            const double deg = params.degStart + i * stepAngle;
            const double a = toward + deg * CV_PI / 180.0;
            const cv::Point2f dir(float(std::cos(a)), float(std::sin(a)));
            const cv::Point2f n(-dir.y, dir.x);
            float s = 0;
            for (int j = 1; j <= kLookAhead; ++j) {
                const cv::Point2f q = p + dir * float(j);
                // Ground already covered does not count: the path must not
                // wander back and forth over the same stretch.
                if (j > 2 && visited.at(q))
                    continue;
                s += field.Likeness(q, n);
            }
            s = s / kLookAhead - kTurnPenalty * float((deg / 90.0) * (deg / 90.0));
            if (s > bestScore) {
                bestScore = s;
                bestAngle = a;
            }
        }
        // Going round in circles (the crack lost where it crosses bright
        // detail): straight on towards the end for a while.
        const double left = cv::norm(target - p);
        if (left < closest - 1.0) {
            closest = left;
            lastProgress = step;
        } else if (step - lastProgress >= kStuckSteps) {
            bestAngle = toward;
            lastProgress = step;
        }
        visited.mark(p);
        p = field.Clamp(p + cv::Point2f(float(std::cos(bestAngle)), float(std::sin(bestAngle))) * kStep);
        path.push_back(p);
    }
    path.push_back(target);
    // The clicks may fall short of the crack's ends: follow it on beyond
    // both ends while it is still crack.
    auto extend = [&](cv::Point2f end, cv::Point2f inner) {
        std::vector<cv::Point2f> more;
        cv::Point2f d = end - inner;
        const float len = std::hypot(d.x, d.y);
        if (len < 1e-3f)
            return more;
        d /= len;
        cv::Point2f q = end;
        for (int i = 0; i < kEndReach; ++i) {
            const cv::Point2f n(-d.y, d.x);
            cv::Point2f next = q + d;
            for (float o : {-1.0f, 1.0f})
                if (field.Likeness(q + d + n * o, n) > field.Likeness(next, n))
                    next = q + d + n * o;
            if (field.Likeness(next, n) < kCrackLikeness)
                break;
            d = next - q;
            d /= std::hypot(d.x, d.y);
            q = next;
            more.push_back(q);
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

// Samples every half pixel along a path: position and normal.
struct Sample {
    cv::Point2f centre, normal;
    float likeness = 0;
    int left = 0, right = 0;
    bool crack = false;
};

std::vector<Sample> SamplePath(const CrackField& field, const std::vector<cv::Point2f>& path)
{
    std::vector<Sample> samples;
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        const cv::Point2f a = path[i], b = path[i + 1];
        const float len = std::hypot(b.x - a.x, b.y - a.y);
        if (len < 1e-3f)
            continue;
        const cv::Point2f t = (b - a) / len, n(-t.y, t.x);
        for (float s = 0; s < len; s += 0.5f) {
            Sample sample;
            sample.centre = a + t * s;
            sample.normal = n;
            sample.likeness = field.Likeness(sample.centre, n);
            samples.push_back(sample);
        }
    }
    return samples;
}

// Mean crack-likeness along a path.
float PathLikeness(const CrackField& field, const std::vector<cv::Point2f>& path)
{
    const std::vector<Sample> samples = SamplePath(field, path);
    double sum = 0;
    for (const Sample& s : samples)
        sum += std::min(1.0f, s.likeness);
    return samples.empty() ? 0.0f : float(sum / samples.size());
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

// Marks the crack across the path. At each sample the centre is moved to
// the most crack-like point within two pixels across; its pixels on both
// sides are those lifted above the sides' level by a good share of the
// centre's lift. A crack keeps about the same width along its length:
// widths far from the usual one are picture detail beside it. Short
// stretches where the crack cannot be told from what it crosses (white on
// white) are bridged at the usual width. An empty mask when the path is not
// crack along most of its length.
cv::Mat MeasureAndMark(const CrackField& field, const std::vector<cv::Point2f>& path, cv::Size size)
{
    std::vector<Sample> samples = SamplePath(field, path);
    cv::Mat mask = cv::Mat::zeros(size, CV_8UC1);
    if (samples.empty())
        return mask;
    // A crack is gently curved: a path winding much longer than the
    // straight line between its ends went from one bright detail to the
    // next.
    if (path.size() >= 2 && 0.5 * samples.size() > kMaxDetour * cv::norm(path.back() - path.front()) + 4)
        return mask;
    int crackCount = 0;
    for (Sample& s : samples) {
        int bestOffset = 0;
        float best = s.likeness;
        for (int o = -2; o <= 2; ++o) {
            const float l = field.Likeness(s.centre + s.normal * float(o), s.normal);
            if (l > best + 0.02f) {
                best = l;
                bestOffset = o;
            }
        }
        s.centre += s.normal * float(bestOffset);
        s.likeness = best;
        s.crack = best >= kCrackLikeness;
        if (!s.crack)
            continue;
        ++crackCount;
        // The sides' level beyond the widest crack, and the centre's.
        const float centre = field.At(s.centre);
        const float side = std::max(field.At(s.centre + s.normal * float(kMaxHalfWidth + 2)),
                                    field.At(s.centre - s.normal * float(kMaxHalfWidth + 2)));
        const float limit = side + kEdgeShare * std::max(0.0f, centre - side);
        while (s.left < kMaxHalfWidth && field.At(s.centre - s.normal * float(s.left + 1)) >= limit)
            ++s.left;
        while (s.right < kMaxHalfWidth && field.At(s.centre + s.normal * float(s.right + 1)) >= limit)
            ++s.right;
    }
    // A crack is connected along the path: bright specks passed on the way
    // are not.
    const int minRun = static_cast<int>(2 * kMinRun);
    for (size_t i = 0; i < samples.size();) {
        if (!samples[i].crack) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < samples.size() && samples[j].crack)
            ++j;
        if (int(j - i) < minRun)
            for (size_t k = i; k < j; ++k) {
                samples[k].crack = false;
                --crackCount;
            }
        i = j;
    }
    if (crackCount < kPresence * samples.size())
        return mask;
    // The usual half widths.
    std::vector<int> lefts, rights;
    for (const Sample& s : samples)
        if (s.crack) {
            lefts.push_back(s.left);
            rights.push_back(s.right);
        }
    std::nth_element(lefts.begin(), lefts.begin() + lefts.size() / 2, lefts.end());
    std::nth_element(rights.begin(), rights.begin() + rights.size() / 2, rights.end());
    const int usualLeft = lefts[lefts.size() / 2], usualRight = rights[rights.size() / 2];
    // Stretches without crack: bridged when short and crack on both sides.
    const int bridge = static_cast<int>(2 * kBridge);  // samples are half a pixel apart
    for (size_t i = 0; i < samples.size();) {
        if (samples[i].crack) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < samples.size() && !samples[j].crack)
            ++j;
        const bool inner = i > 0 && j < samples.size();
        if (inner && int(j - i) <= bridge)
            for (size_t k = i; k < j; ++k) {
                samples[k].crack = true;
                samples[k].left = usualLeft;
                samples[k].right = usualRight;
            }
        i = j;
    }
    for (Sample& s : samples) {
        if (!s.crack)
            continue;
        const int left = std::clamp(s.left, std::max(0, usualLeft - 1), usualLeft + 1) + 1;
        const int right = std::clamp(s.right, std::max(0, usualRight - 1), usualRight + 1) + 1;
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
