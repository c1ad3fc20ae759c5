// The restorations on small generated pictures: where there is nothing to
// repair nothing changes (do no harm), and damage is found wherever it lies
// and reduced, with nothing far from it changed.

#include "engine/Restoration.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <string>

using namespace veltro;

namespace {

// A textured scene: gradients, an edge, a periodic pattern and grain.
cv::Mat Scene(cv::Size size = cv::Size(240, 180))
{
    cv::Mat img(size, CV_8UC3);
    cv::RNG rng(1);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const double v = 55 + 0.4 * x + 25 * std::sin(x * 0.3) * std::cos(y * 0.2) + (x + y > 220 ? 40 : 0);
            img.at<cv::Vec3b>(y, x) = cv::Vec3b(cv::saturate_cast<uchar>(v * 0.8 + rng.uniform(-4, 5)),
                                                cv::saturate_cast<uchar>(v + rng.uniform(-4, 5)),
                                                cv::saturate_cast<uchar>(v * 1.1 + rng.uniform(-4, 5)));
        }
    return img;
}

// A photograph's light sky over a darker textured ground.
cv::Mat Sky(cv::Size size = cv::Size(240, 180))
{
    cv::Mat img = Scene(size);
    for (int y = 0; y < size.height / 2; ++y)
        for (int x = 0; x < size.width; ++x)
            img.at<cv::Vec3b>(y, x) = cv::Vec3b(cv::saturate_cast<uchar>(235 - y / 3), cv::saturate_cast<uchar>(200 - y / 4),
                                                cv::saturate_cast<uchar>(160 - y / 4));
    return img;
}

// A page: paper with lines of dark text; no pixel reaches 245. With a
// slanted ruled line when `line`.
cv::Mat Page(bool line = false)
{
    cv::Mat page(180, 240, CV_8UC3, cv::Scalar(185, 212, 232));
    for (int y = 25; y < 180; y += 22)
        cv::putText(page, "foxed paper text", cv::Point(8, y), cv::FONT_HERSHEY_SIMPLEX, 0.6, cv::Scalar(40, 40, 45),
                    1, cv::LINE_AA);
    if (line)
        cv::line(page, cv::Point(20, 170), cv::Point(220, 20), cv::Scalar(40, 40, 45), 2, cv::LINE_AA);
    return page;
}

double Psnr(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask)
{
    const double mse = cv::norm(a, b, cv::NORM_L2SQR, mask) / (3.0 * std::max(1, cv::countNonZero(mask)));
    return mse < 1e-9 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

cv::Mat Changed(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat diff, grey;
    cv::absdiff(a, b, diff);
    cv::transform(diff, grey, cv::Matx13f(1, 1, 1));
    return grey > 0;
}

CrackParams Clicks(cv::Point a, cv::Point b)
{
    CrackParams p;
    p.start = a;
    p.end = b;
    return p;
}

// Blends `colour` into the picture with opacity alpha.
cv::Mat Blend(const cv::Mat& clean, const cv::Mat1f& alpha, const cv::Vec3f& colour)
{
    cv::Mat out = clean.clone();
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x)
            for (int c = 0; c < 3; ++c)
                out.at<cv::Vec3b>(y, x)[c] = cv::saturate_cast<uchar>(out.at<cv::Vec3b>(y, x)[c] * (1 - alpha(y, x)) +
                                                                      colour[c] * alpha(y, x));
    return out;
}

using Restore = std::function<void(cv::Mat&)>;

}  // namespace

// Nothing to repair, or nothing to build from, or sizes far beyond the
// picture: not a pixel changes.
TEST(Restoration, DoesNoHarmWhereThereIsNothingToRepair)
{
    const cv::Mat empty = cv::Mat::zeros(180, 240, CV_8UC1);
    const struct {
        const char* what;
        cv::Mat picture;
        Restore restore;
    } cases[] = {
        {"blotch, empty mask", Scene(), [&](cv::Mat& m) { RemoveBlotches(m, empty, 7, 10); }},
        {"blotch, mask below 128", Scene(),
         [](cv::Mat& m) { RemoveBlotches(m, cv::Mat(m.size(), CV_8UC1, cv::Scalar(127)), INT_MAX, INT_MAX); }},
        {"fill, nothing damaged", Scene(), [&](cv::Mat& m) { FillDamage(m, empty, 5); }},
        {"fill, nothing to build from", Scene(),
         [](cv::Mat& m) { FillDamage(m, cv::Mat(m.size(), CV_8UC1, cv::Scalar(255)), 5); }},
        {"crack across text, no white", Page(), [](cv::Mat& m) { RemoveCrack(m, Clicks({10, 30}, {220, 150})); }},
        {"crack across a photograph", Scene(), [](cv::Mat& m) { RemoveCrack(m, Clicks({20, 20}, {200, 160})); }},
        {"crack, one point", Scene(), [](cv::Mat& m) { RemoveCrack(m, Clicks({10, 10}, {10, 10})); }},
        {"crack, sideways only", Scene(), [](cv::Mat& m) {
             CrackParams p = Clicks({0, 0}, {239, 179});
             p.degStart = p.degStop = 90;
             RemoveCrack(m, p);
         }},
        {"crease over a page's own line", Page(true),
         [](cv::Mat& m) { RemoveCrease(m, cv::Rect(0, 0, m.cols, m.rows), 10, 22, 25); }},
        {"crease on a photograph", Scene(), [](cv::Mat& m) { RemoveCrease(m, cv::Rect(30, 20, 150, 120), 10, 22, 25); }},
        {"crease, sizes beyond the picture", Scene(),
         [](cv::Mat& m) { RemoveCrease(m, cv::Rect(0, 0, m.cols, m.rows), 255, INT_MAX, INT_MAX); }},
        {"crease outside the picture", Scene(), [](cv::Mat& m) { RemoveCrease(m, cv::Rect(300, 300, 10, 10), 10, 22, 25); }},
        {"foxing on a clean page", Page(true), [](cv::Mat& m) { RemoveFoxing(m, 3, 2, 0.05); }},
        {"foxing on a clean photograph", Sky(), [](cv::Mat& m) { RemoveFoxing(m, 3, 2, 0.05); }},
        {"foxing, sizes beyond the picture", Sky(), [](cv::Mat& m) { RemoveFoxing(m, INT_MAX, INT_MAX, 0.05); }},
    };
    for (const auto& c : cases) {
        cv::Mat out = c.picture.clone();
        c.restore(out);
        EXPECT_EQ(cv::countNonZero(Changed(out, c.picture)), 0) << c.what;
    }
}

// Damage laid anywhere is found and reduced; what lies far from it keeps
// its value.
TEST(Restoration, FindsAndReducesTheDamageWhereverItLies)
{
    struct Case {
        std::string what;
        cv::Mat clean, damaged, truth;
        Restore restore;
        double gain;      // dB over the damaged input, at least
        int far;          // pixels farther than this from the damage keep their value
    };
    std::vector<Case> cases;
    // Creases at several angles, positions and kinds, in loose regions.
    const struct {
        double degrees, ridge, shadow, offset;
        cv::Rect region;
        bool page;
    } creases[] = {
        {84, 30, 0, -40, cv::Rect(40, 0, 200, 180), false},
        {14, 0, 0.3, 30, cv::Rect(0, 20, 240, 140), true},
        {135, 25, 0.25, 10, cv::Rect(0, 0, 240, 180), false},
    };
    for (const auto& k : creases) {
        const cv::Mat clean = k.page ? Page() : Scene();
        cv::Mat damaged = clean.clone();
        cv::Mat truth = cv::Mat::zeros(clean.size(), CV_8UC1);
        const double a = k.degrees * CV_PI / 180, nx = -std::sin(a), ny = std::cos(a);
        for (int y = 0; y < clean.rows; ++y)
            for (int x = 0; x < clean.cols; ++x) {
                const double d = (x - 120) * nx + (y - 90) * ny - k.offset;
                const double r = k.ridge * std::exp(-d * d / 4.5), s = k.shadow * std::exp(-(d - 4) * (d - 4) / 4.5);
                for (int c = 0; c < 3; ++c) {
                    uchar& p = damaged.at<cv::Vec3b>(y, x)[c];
                    p = cv::saturate_cast<uchar>((p + r) * (1 - s));
                }
                if (k.region.contains(cv::Point(x, y)) && (r > 1.5 || s * 200 > 1.5))
                    truth.at<uchar>(y, x) = 255;
            }
        const cv::Rect region = k.region;
        cases.push_back({"crease at " + std::to_string(int(k.degrees)), clean, damaged, truth,
                         [region](cv::Mat& m) { RemoveCrease(m, region, 10, 22, 25); }, 6, 6});
    }
    {
        // A gently curved crack, clicked a few pixels off its ends.
        const cv::Mat clean = Scene();
        std::vector<cv::Point> crack;
        for (int x = 20; x <= 200; ++x)
            crack.emplace_back(x, 60 + cvRound(8 * std::sin(x * 0.04)) + x / 5);
        cv::Mat truth = cv::Mat::zeros(clean.size(), CV_8UC1);
        cv::polylines(truth, std::vector<std::vector<cv::Point>>{crack}, false, cv::Scalar(255), 2);
        cv::Mat damaged = clean.clone();
        damaged.setTo(cv::Scalar(250, 250, 250), truth);
        const CrackParams p = Clicks(crack.front() + cv::Point(2, -3), crack.back() + cv::Point(-3, 2));
        cases.push_back({"crack", clean, damaged, truth, [p](cv::Mat& m) { RemoveCrack(m, p); }, 12, 8});
    }
    {
        // Foxing in a photograph's sky and on a page.
        for (bool page : {false, true}) {
            const cv::Mat clean = page ? Page() : Sky();
            cv::Mat1f amount = cv::Mat1f::zeros(clean.size());
            for (const cv::Point c : {cv::Point(60, 30), cv::Point(170, 50), cv::Point(120, 20)})
                for (int y = 0; y < clean.rows; ++y)
                    for (int x = 0; x < clean.cols; ++x)
                        amount(y, x) += 0.5f * std::exp(-((x - c.x) * (x - c.x) + (y - c.y) * (y - c.y)) / 50.0f);
            cv::Mat damaged = clean.clone();
            const cv::Vec3f beta(0.8f, 0.5f, 0.2f);
            for (int y = 0; y < clean.rows; ++y)
                for (int x = 0; x < clean.cols; ++x)
                    for (int c = 0; c < 3; ++c)
                        damaged.at<cv::Vec3b>(y, x)[c] =
                            cv::saturate_cast<uchar>(clean.at<cv::Vec3b>(y, x)[c] * (1 - amount(y, x) * beta[c]));
            cases.push_back({page ? "foxing on a page" : "foxing in a sky", clean, damaged, amount > 0.03f,
                             [](cv::Mat& m) { RemoveFoxing(m, 3, 2, 0.05); }, 8, 6});
        }
    }
    {
        // A dark blotch with a soft border beyond the painted mask.
        const cv::Mat clean = Scene();
        cv::Mat1f alpha = cv::Mat1f::zeros(clean.size());
        cv::ellipse(alpha, cv::Point(110, 80), cv::Size(18, 12), 20, 0, 360, cv::Scalar(1.0), cv::FILLED);
        cv::GaussianBlur(alpha, alpha, cv::Size(), 1.5);
        alpha *= 0.9f;
        const cv::Mat mask = alpha >= 0.45f;
        cases.push_back({"blotch", clean, Blend(clean, alpha, cv::Vec3f(30, 25, 40)), alpha > 0.02f,
                         [mask](cv::Mat& m) { RemoveBlotches(m, mask, 7, 10); }, 12, 8});
    }
    for (const Case& c : cases) {
        cv::Mat out = c.damaged.clone();
        c.restore(out);
        EXPECT_GT(Psnr(out, c.clean, c.truth), Psnr(c.damaged, c.clean, c.truth) + c.gain) << c.what;
        const cv::Mat far = GrowMask(c.truth, c.far) == 0;
        EXPECT_EQ(cv::countNonZero(Changed(out, c.damaged) & far), 0) << c.what;
    }
}

// The crack's path stays on it from clicks a little off its ends.
TEST(Crack, TracesFromRoughClicks)
{
    const cv::Mat clean = Scene();
    std::vector<cv::Point> crack;
    for (int x = 20; x <= 180; ++x)
        crack.emplace_back(x, 60 + cvRound(8 * std::sin(x * 0.04)) + x / 10);
    cv::Mat damaged = clean.clone();
    cv::polylines(damaged, std::vector<std::vector<cv::Point>>{crack}, false, cv::Scalar(250, 250, 250), 2);
    for (const cv::Point2f& q : TraceCrack(damaged, Clicks(crack.front() + cv::Point(1, -2), crack.back() + cv::Point(-2, 2)))) {
        double best = 1e9;
        for (const cv::Point& c : crack)
            best = std::min(best, double(std::hypot(q.x - c.x, q.y - c.y)));
        EXPECT_LE(best, 3.0) << q;
    }
}
