// Reconstruction of damaged pixels by frequency-selective extrapolation.
//
// The damage is rebuilt block by block. For each block, the pixels of a
// larger support area around it are modelled as a sum of a few 2-D Fourier
// basis functions, chosen one at a time: each step takes the function that
// removes most of the remaining (weighted) error on the flawless pixels and
// adds a share (kGamma) of its projection. The weights fall off with the distance from
// the block, so the model follows the structure nearby (edges, gradients,
// periodic texture) and continues it into the hole. Blocks with the most
// flawless context go first; their results then serve, with a lower weight,
// as context for the blocks further inside the damage.

#include "engine/Restoration.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <queue>
#include <vector>

namespace veltro {

namespace {

constexpr int kBlock = 8;                      // pixels rebuilt per step (side)
constexpr int kSupport = 48;                   // model area (side), also the DFT size
constexpr int kBorder = (kSupport - kBlock) / 2;
constexpr int kReach = (kBorder + kBlock - 1) / kBlock;  // blocks whose support a block touches
constexpr int kIterations = 80;                // basis functions chosen per block
constexpr float kRho = 0.75f;                  // weight decay per pixel from the block
constexpr float kFilledWeight = 0.6f;          // weight of pixels rebuilt earlier
constexpr float kGamma = 0.3f;                 // share of each projection taken
constexpr float kStopRatio = 1e-5f;            // energy of a component not worth adding
constexpr int kDiscLimit = 16;                 // widest ring found by a dilation
constexpr double kSetupShare = 0.1;            // of the time, before the first block

enum PixelState : uchar { kIgnored = 0, kSource = 1, kHole = 2, kFilled = 3 };

constexpr int kN = kSupport * kSupport;
constexpr int kN2 = 4 * kN;  // the doubled (periodically tiled) spectrum
constexpr int kHalf = (kSupport / 2 + 1) * kSupport;  // rows 0 to kSupport / 2

struct Spectrum {
    std::vector<float> re, im;
    explicit Spectrum(int n = kN) : re(n), im(n) {}
};

// The spatial weight of each support position: 1 on the block, falling by
// kRho per pixel of distance from it.
const std::vector<float>& SpatialWindow()
{
    static const std::vector<float> window = [] {
        std::vector<float> w(kN);
        for (int y = 0; y < kSupport; ++y)
            for (int x = 0; x < kSupport; ++x) {
                const int dx = std::max({kBorder - x, x - (kBorder + kBlock - 1), 0});
                const int dy = std::max({kBorder - y, y - (kBorder + kBlock - 1), 0});
                w[y * kSupport + x] = std::pow(kRho, std::sqrt(float(dx * dx + dy * dy)));
            }
        return w;
    }();
    return window;
}

// Low frequencies are preferred: a smooth continuation is the safer guess.
const std::vector<float>& FrequencyWeight()
{
    static const std::vector<float> weight = [] {
        std::vector<float> w(kN);
        for (int v = 0; v < kSupport; ++v)
            for (int u = 0; u < kSupport; ++u) {
                const int fu = u <= kSupport / 2 ? u : u - kSupport;
                const int fv = v <= kSupport / 2 ? v : v - kSupport;
                const float r = std::sqrt(float(fu * fu + fv * fv)) / (kSupport / 2);
                const float t = 1.0f - 0.9f * std::min(r, 1.0f);
                w[v * kSupport + u] = t * t;
            }
        return w;
    }();
    return weight;
}

float StateWeight(uchar state)
{
    return state == kSource ? 1.0f : state == kFilled ? kFilledWeight : 0.0f;
}

void ForwardDft(const cv::Mat1f& in, Spectrum& out)
{
    cv::Mat complex;
    cv::dft(in, complex, cv::DFT_COMPLEX_OUTPUT);
    for (int y = 0; y < kSupport; ++y) {
        const cv::Vec2f* row = complex.ptr<cv::Vec2f>(y);
        for (int x = 0; x < kSupport; ++x) {
            out.re[y * kSupport + x] = row[x][0];
            out.im[y * kSupport + x] = row[x][1];
        }
    }
}

// Rebuilds the hole pixels of one block; `origin` is the support's top-left
// corner in `image`. Returns false when the support holds no usable pixel.
bool ExtrapolateBlock(cv::Mat& image, cv::Mat1b& state, cv::Point origin, cv::Rect block)
{
    const std::vector<float>& window = SpatialWindow();
    const std::vector<float>& freqWeight = FrequencyWeight();

    cv::Mat1f weight(kSupport, kSupport, 0.0f);
    cv::Mat1f weighted[3];
    for (auto& m : weighted)
        m = cv::Mat1f(kSupport, kSupport, 0.0f);
    double weightSum = 0;
    for (int y = 0; y < kSupport; ++y) {
        const int iy = origin.y + y;
        if (iy < 0 || iy >= image.rows)
            continue;
        const cv::Vec3b* pix = image.ptr<cv::Vec3b>(iy);
        const uchar* st = state.ptr<uchar>(iy);
        for (int x = 0; x < kSupport; ++x) {
            const int ix = origin.x + x;
            if (ix < 0 || ix >= image.cols)
                continue;
            const float w = window[y * kSupport + x] * StateWeight(st[ix]);
            if (w <= 0)
                continue;
            weight(y, x) = w;
            weightSum += w;
            for (int c = 0; c < 3; ++c)
                weighted[c](y, x) = w * pix[ix][c];
        }
    }
    if (weightSum < 1e-3)
        return false;

    Spectrum w1;
    ForwardDft(weight, w1);
    // The weight spectrum tiled 2 x 2, so that shifted copies W(l - k) and
    // W(l + k) are read without wrapping indices in the inner loop.
    Spectrum w2(kN2);
    for (int y = 0; y < 2 * kSupport; ++y)
        for (int x = 0; x < 2 * kSupport; ++x) {
            const int s = (y % kSupport) * kSupport + (x % kSupport);
            w2.re[y * 2 * kSupport + x] = w1.re[s];
            w2.im[y * 2 * kSupport + x] = w1.im[s];
        }
    const float w0 = w1.re[0];

    Spectrum residual[3];
    Spectrum coeff[3];
    for (int c = 0; c < 3; ++c)
        ForwardDft(weighted[c], residual[c]);

    // The residual's spectrum is Hermitian (the picture is real): the upper
    // half-plane holds every frequency, so only it is searched and kept up to
    // date. Each pass updates one row of all three colours and then looks
    // there for the next strongest component, while the row is still cached.
    auto strongestInRow = [&](int lv, int& best, float& bestEnergy) {
        for (int k = lv * kSupport; k < (lv + 1) * kSupport; ++k) {
            float e = 0;
            for (int c = 0; c < 3; ++c)
                e += residual[c].re[k] * residual[c].re[k] + residual[c].im[k] * residual[c].im[k];
            e *= freqWeight[k];
            if (e > bestEnergy) {
                bestEnergy = e;
                best = k;
            }
        }
    };
    int best = -1;
    float bestEnergy = 0;
    for (int lv = 0; lv <= kSupport / 2; ++lv)
        strongestInRow(lv, best, bestEnergy);
    const float firstEnergy = bestEnergy;
    for (int it = 0; it < kIterations; ++it) {
        // Stop once what is left to model is negligible next to the first
        // (strongest) component: more would only fit noise.
        if (best < 0 || bestEnergy < kStopRatio * firstEnergy)
            break;
        const int ku = best % kSupport, kv = best / kSupport;
        const int mu = (kSupport - ku) % kSupport, mv = (kSupport - kv) % kSupport;
        const int mirror = mv * kSupport + mu;
        const bool selfMirror = mirror == best;
        float dr[3], di[3];
        for (int c = 0; c < 3; ++c) {
            dr[c] = kGamma * residual[c].re[best] / w0;
            di[c] = selfMirror ? 0.0f : kGamma * residual[c].im[best] / w0;
            coeff[c].re[best] += dr[c];
            coeff[c].im[best] += di[c];
            if (!selfMirror) {
                // The signal is real: the mirrored frequency takes the conjugate.
                coeff[c].re[mirror] += dr[c];
                coeff[c].im[mirror] -= di[c];
            }
        }
        best = -1;
        bestEnergy = 0;
        for (int lv = 0; lv <= kSupport / 2; ++lv) {
            const float* aRe = &w2.re[(lv - kv + kSupport) * 2 * kSupport + kSupport - ku];
            const float* aIm = &w2.im[(lv - kv + kSupport) * 2 * kSupport + kSupport - ku];
            const float* bRe = &w2.re[(lv + kv) * 2 * kSupport + ku];
            const float* bIm = &w2.im[(lv + kv) * 2 * kSupport + ku];
            for (int c = 0; c < 3; ++c) {
                float* rRe = &residual[c].re[lv * kSupport];
                float* rIm = &residual[c].im[lv * kSupport];
                const float r0 = dr[c], i0 = di[c];
                if (selfMirror) {
                    for (int lu = 0; lu < kSupport; ++lu) {
                        rRe[lu] -= r0 * aRe[lu];
                        rIm[lu] -= r0 * aIm[lu];
                    }
                } else {
                    for (int lu = 0; lu < kSupport; ++lu) {
                        rRe[lu] -= r0 * aRe[lu] - i0 * aIm[lu] + r0 * bRe[lu] + i0 * bIm[lu];
                        rIm[lu] -= r0 * aIm[lu] + i0 * aRe[lu] + r0 * bIm[lu] - i0 * bRe[lu];
                    }
                }
            }
            strongestInRow(lv, best, bestEnergy);
        }
    }

    cv::Mat1f model[3];
    for (int c = 0; c < 3; ++c) {
        cv::Mat complex(kSupport, kSupport, CV_32FC2);
        for (int y = 0; y < kSupport; ++y)
            for (int x = 0; x < kSupport; ++x)
                complex.at<cv::Vec2f>(y, x) = cv::Vec2f(coeff[c].re[y * kSupport + x],
                                                        coeff[c].im[y * kSupport + x]);
        cv::Mat spatial;
        cv::idft(complex, spatial, cv::DFT_COMPLEX_OUTPUT);
        cv::extractChannel(spatial, model[c], 0);
    }
    for (int y = block.y; y < block.y + block.height; ++y) {
        cv::Vec3b* pix = image.ptr<cv::Vec3b>(y);
        uchar* st = state.ptr<uchar>(y);
        for (int x = block.x; x < block.x + block.width; ++x) {
            if (st[x] != kHole)
                continue;
            for (int c = 0; c < 3; ++c)
                pix[x][c] = cv::saturate_cast<uchar>(model[c](y - origin.y, x - origin.x));
            st[x] = kFilled;
        }
    }
    return true;
}

}  // namespace

void FillDamage(cv::Mat& image, const cv::Mat& damage, int ringWidth, const Progress& progress)
{
    CV_Assert(image.type() == CV_8UC3 && damage.type() == CV_8UC1 && damage.size() == image.size());
    if (cv::countNonZero(damage) == 0) {
        progress.Report(1.0);
        return;
    }
    ringWidth = std::max(1, std::min(ringWidth, std::max(image.cols, image.rows)));

    // Work only around the damage: its bounding box, widened by the ring and
    // the model's support.
    const cv::Rect damageBox = cv::boundingRect(damage);
    const int margin = ringWidth + kSupport;
    cv::Rect work(damageBox.x - margin, damageBox.y - margin, damageBox.width + 2 * margin,
                  damageBox.height + 2 * margin);
    work &= cv::Rect(0, 0, image.cols, image.rows);
    cv::Mat roi = image(work);
    const cv::Mat hole = damage(work);

    // The flawless ring: pixels at most ringWidth away from the damage. A
    // narrow ring is a dilation with the exact disc; a wide one comes from a
    // distance transform, whose cost does not grow with the width.
    cv::Mat1b state(roi.size(), uchar(kIgnored));
    if (ringWidth <= kDiscLimit) {
        cv::Mat disc(2 * ringWidth + 1, 2 * ringWidth + 1, CV_8UC1);
        for (int y = -ringWidth; y <= ringWidth; ++y)
            for (int x = -ringWidth; x <= ringWidth; ++x)
                disc.at<uchar>(y + ringWidth, x + ringWidth) = x * x + y * y <= ringWidth * ringWidth ? 1 : 0;
        cv::Mat ring;
        cv::dilate(hole, ring, disc);
        state.setTo(uchar(kSource), ring);
    } else {
        cv::Mat1f distance;
        cv::distanceTransform(hole == 0, distance, cv::DIST_L2, cv::DIST_MASK_PRECISE);
        state.setTo(uchar(kSource), distance <= ringWidth);
    }
    state.setTo(uchar(kHole), hole);

    const int blocksX = (roi.cols + kBlock - 1) / kBlock;
    const int blocksY = (roi.rows + kBlock - 1) / kBlock;
    std::vector<int> holeCount(blocksX * blocksY, 0);
    for (int y = 0; y < roi.rows; ++y)
        for (int x = 0; x < roi.cols; ++x)
            if (state(y, x) == kHole)
                ++holeCount[(y / kBlock) * blocksX + x / kBlock];

    const std::vector<float>& window = SpatialWindow();
    auto score = [&](int b) {
        const cv::Point origin((b % blocksX) * kBlock - kBorder, (b / blocksX) * kBlock - kBorder);
        float s = 0;
        for (int y = std::max(0, -origin.y); y < kSupport && origin.y + y < roi.rows; ++y) {
            const uchar* st = state[origin.y + y];
            for (int x = std::max(0, -origin.x); x < kSupport && origin.x + x < roi.cols; ++x)
                s += window[y * kSupport + x] * StateWeight(st[origin.x + x]);
        }
        return s;
    };

    // Blocks with the most context first. Scores only grow as neighbours are
    // rebuilt; a queue entry whose score is no longer current is stale.
    using Entry = std::pair<float, int>;
    std::priority_queue<Entry> queue;
    std::vector<float> current(holeCount.size(), 0);
    for (int b = 0; b < static_cast<int>(holeCount.size()); ++b)
        if (holeCount[b] > 0) {
            current[b] = score(b);
            queue.emplace(current[b], b);
        }
    // Every damaged block costs about the same: they measure the advance.
    const Progress blocks = progress.Sub(kSetupShare, 1.0);
    const long long blocksToBuild = static_cast<long long>(queue.size());
    long long blocksBuilt = 0;
    blocks.Report(0.0);
    while (!queue.empty()) {
        const auto [s, b] = queue.top();
        queue.pop();
        if (holeCount[b] == 0 || s != current[b])
            continue;
        const int bx = b % blocksX, by = b / blocksX;
        const cv::Rect block = cv::Rect(bx * kBlock, by * kBlock, kBlock, kBlock) &
                               cv::Rect(0, 0, roi.cols, roi.rows);
        const cv::Point origin(bx * kBlock - kBorder, by * kBlock - kBorder);
        if (!ExtrapolateBlock(roi, state, origin, block)) {
            // Nothing to build from (the damage covers everything around):
            // leave these pixels as they are.
            for (int y = block.y; y < block.br().y; ++y)
                for (int x = block.x; x < block.br().x; ++x)
                    if (state(y, x) == kHole)
                        state(y, x) = kIgnored;
        }
        holeCount[b] = 0;
        blocks.Report(++blocksBuilt, blocksToBuild);
        for (int ny = std::max(0, by - kReach); ny <= std::min(blocksY - 1, by + kReach); ++ny)
            for (int nx = std::max(0, bx - kReach); nx <= std::min(blocksX - 1, bx + kReach); ++nx) {
                const int n = ny * blocksX + nx;
                if (holeCount[n] == 0)
                    continue;
                current[n] = score(n);
                queue.emplace(current[n], n);
            }
    }
}

}  // namespace veltro
