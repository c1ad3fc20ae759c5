// Each restoration on damage of known ground truth: less error under the damage, pixels away from it left alone.

#include "engine/Restoration.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace veltro;

namespace {

// A textured scene: gradients, an edge, a periodic pattern and grain.
cv::Mat Scene(cv::Size size = cv::Size(200, 160))
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

// A page: paper with lines of dark text.
cv::Mat Page()
{
    cv::Mat page(160, 240, CV_8UC3, cv::Scalar(185, 212, 232));
    for (int y = 25; y < 160; y += 22)
        cv::putText(page, "foxed paper text", cv::Point(8, y), cv::FONT_HERSHEY_SIMPLEX, 0.6, cv::Scalar(40, 40, 45),
                    1, cv::LINE_AA);
    return page;
}

double Psnr(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask)
{
    const double mse = cv::norm(a, b, cv::NORM_L2SQR, mask) / (3.0 * std::max(1, cv::countNonZero(mask)));
    return mse < 1e-9 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Pixels that differ between a and b; pixels farther than `dist` from the mask.
cv::Mat Changed(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat diff, grey;
    cv::absdiff(a, b, diff);
    cv::transform(diff, grey, cv::Matx13f(1, 1, 1));
    return grey > 0;
}

cv::Mat Far(const cv::Mat& mask, int dist) { return GrowMask(mask, dist) == 0; }

}  // namespace

TEST(Fill, RebuildsAHoleFromItsSurroundingsAndTouchesNothingElse)
{
    const cv::Mat clean = Scene();
    cv::Mat hole = cv::Mat::zeros(clean.size(), CV_8UC1);
    cv::circle(hole, cv::Point(100, 80), 9, cv::Scalar(255), cv::FILLED);
    cv::Mat damaged = clean.clone();
    damaged.setTo(cv::Scalar(255, 255, 255), hole);
    cv::Mat out = damaged.clone();
    FillDamage(out, hole, 10);
    EXPECT_GT(Psnr(out, clean, hole), Psnr(damaged, clean, hole) + 15);
    EXPECT_GT(Psnr(out, clean, hole), 25);
    EXPECT_EQ(cv::countNonZero(Changed(out, damaged) & ~hole), 0);
}

TEST(Blotch, GrowsTheMaskAndRestoresOnlyThere)
{
    const cv::Mat clean = Scene();
    // A blotch with a soft border that the user's mask does not cover.
    cv::Mat1f alpha = cv::Mat1f::zeros(clean.size());
    cv::ellipse(alpha, cv::Point(70, 60), cv::Size(10, 7), 20, 0, 360, cv::Scalar(1.0), cv::FILLED);
    cv::GaussianBlur(alpha, alpha, cv::Size(), 1.0);
    cv::Mat damaged = clean.clone();
    for (int y = 0; y < clean.rows; ++y)
        for (int x = 0; x < clean.cols; ++x)
            for (int c = 0; c < 3; ++c)
                damaged.at<cv::Vec3b>(y, x)[c] = cv::saturate_cast<uchar>(
                    clean.at<cv::Vec3b>(y, x)[c] * (1 - alpha(y, x)) + 30 * alpha(y, x));
    const cv::Mat userMask = alpha >= 0.5f;
    const cv::Mat truth = alpha > 0.01f;
    cv::Mat out = damaged.clone(), grown;
    RemoveBlotches(out, userMask, 3, 10, &grown);
    EXPECT_EQ(cv::countNonZero(truth & ~grown), 0);
    EXPECT_GT(Psnr(out, clean, truth), Psnr(damaged, clean, truth) + 12);
    EXPECT_EQ(cv::countNonZero(Changed(out, damaged) & ~grown), 0);
}

TEST(Crack, TracesFromRoughClicksAndFillsOnlyAlongTheCrack)
{
    const cv::Mat clean = Scene();
    cv::Mat damaged = clean.clone();
    std::vector<cv::Point> crack;
    for (int x = 20; x <= 180; ++x)
        crack.emplace_back(x, 60 + cvRound(8 * std::sin(x * 0.04)) + x / 10);
    cv::Mat truth = cv::Mat::zeros(clean.size(), CV_8UC1);
    cv::polylines(truth, std::vector<std::vector<cv::Point>>{crack}, false, cv::Scalar(255), 2);
    damaged.setTo(cv::Scalar(250, 250, 250), truth);
    CrackParams p;
    p.start = crack.front() + cv::Point(1, -2);  // clicked a little off
    p.end = crack.back() + cv::Point(-2, 2);
    const std::vector<cv::Point2f> path = TraceCrack(damaged, p);
    ASSERT_GE(path.size(), 2u);
    // The path stays on the crack.
    for (const cv::Point2f& q : path) {
        double best = 1e9;
        for (const cv::Point& c : crack)
            best = std::min(best, double(std::hypot(q.x - c.x, q.y - c.y)));
        EXPECT_LE(best, 3.0) << q;
    }
    cv::Mat out = damaged.clone(), found;
    RemoveCrack(out, p, &found);
    EXPECT_GT(double(cv::countNonZero(truth & found)) / cv::countNonZero(truth), 0.95);
    EXPECT_GT(Psnr(out, clean, truth), Psnr(damaged, clean, truth) + 12);
    EXPECT_EQ(cv::countNonZero(Changed(out, damaged) & Far(truth, 10)), 0);
}

TEST(Foxing, RemovesTheStainAndKeepsTheTextBeneath)
{
    const cv::Mat clean = Page();
    cv::Mat1f amount = cv::Mat1f::zeros(clean.size());
    for (int y = 0; y < clean.rows; ++y)
        for (int x = 0; x < clean.cols; ++x)
            amount(y, x) = 0.5f * std::exp(-((x - 60) * (x - 60) + (y - 50) * (y - 50)) / (2.0f * 49)) +
                           0.4f * std::exp(-((x - 170) * (x - 170) + (y - 110) * (y - 110)) / (2.0f * 25));
    const cv::Vec3f beta(0.8f, 0.5f, 0.2f);
    cv::Mat damaged = clean.clone();
    for (int y = 0; y < clean.rows; ++y)
        for (int x = 0; x < clean.cols; ++x)
            for (int c = 0; c < 3; ++c)
                damaged.at<cv::Vec3b>(y, x)[c] =
                    cv::saturate_cast<uchar>(clean.at<cv::Vec3b>(y, x)[c] * (1 - amount(y, x) * beta[c]));
    const cv::Mat truth = amount > 0.03f;
    cv::Mat grey;
    cv::cvtColor(clean, grey, cv::COLOR_BGR2GRAY);
    const cv::Mat inkUnderStain = (grey < 120) & truth;
    ASSERT_GT(cv::countNonZero(inkUnderStain), 20);
    cv::Mat out = damaged.clone(), found;
    RemoveFoxing(out, 3, 2, 0.05, &found);
    EXPECT_GT(Psnr(out, clean, truth), Psnr(damaged, clean, truth) + 8);
    // The text stays: the ink under the stain is no worse than before.
    EXPECT_GE(Psnr(out, clean, inkUnderStain), Psnr(damaged, clean, inkUnderStain) - 0.5);
    EXPECT_EQ(cv::countNonZero(Changed(out, damaged) & Far(truth, 6)), 0);
}

TEST(Crease, RemovesTheProfileInsideTheRegionOnly)
{
    const cv::Mat clean = Scene(cv::Size(240, 180));
    cv::Mat damaged = clean.clone();
    cv::Mat1f profile(clean.size());
    const double angle = 0.35, nx = -std::sin(angle), ny = std::cos(angle);
    for (int y = 0; y < clean.rows; ++y)
        for (int x = 0; x < clean.cols; ++x) {
            const double d = (x - 120) * nx + (y - 90) * ny;
            profile(y, x) = float(30 * std::exp(-d * d / 4.0) - 20 * std::exp(-(d - 3.5) * (d - 3.5) / 6.0));
            for (int c = 0; c < 3; ++c)
                damaged.at<cv::Vec3b>(y, x)[c] = cv::saturate_cast<uchar>(clean.at<cv::Vec3b>(y, x)[c] + profile(y, x));
        }
    // Dragged from one end of a stretch of the crease to the other.
    const cv::Rect region(30, 51, 180, 78);
    cv::Mat truth = cv::Mat::zeros(clean.size(), CV_8UC1);
    cv::Mat(cv::abs(profile(region)) > 2.0f).copyTo(truth(region));
    cv::Mat out = damaged.clone();
    RemoveCrease(out, region, 10, 22, 25);
    EXPECT_GT(Psnr(out, clean, truth), Psnr(damaged, clean, truth) + 3);
    cv::Mat outside(clean.size(), CV_8UC1, cv::Scalar(255));
    outside(region).setTo(0);
    EXPECT_EQ(cv::countNonZero(Changed(out, damaged) & outside), 0);
    EXPECT_EQ(cv::countNonZero(Changed(out, damaged) & Far(truth, 4) & ~outside), 0);
}

// Nothing to restore, or nothing to build from: the picture stays as it is, and degenerate crack clicks end cleanly.
TEST(Restoration, NothingToDoLeavesThePictureAsItIs)
{
    const cv::Mat clean = Scene(cv::Size(60, 40));
    const auto unchanged = [&](const std::function<void(cv::Mat&)>& restore, const cv::Mat& picture) {
        cv::Mat out = picture.clone();
        restore(out);
        return cv::countNonZero(Changed(out, picture)) == 0;
    };
    EXPECT_TRUE(unchanged([](cv::Mat& m) { FillDamage(m, cv::Mat::zeros(m.size(), CV_8UC1), 5); }, clean));
    EXPECT_TRUE(unchanged([](cv::Mat& m) { FillDamage(m, cv::Mat(m.size(), CV_8UC1, cv::Scalar(255)), 5); }, clean));
    // Mask levels below 128 are no blotches.
    EXPECT_TRUE(unchanged([](cv::Mat& m) { RemoveBlotches(m, cv::Mat(m.size(), CV_8UC1, cv::Scalar(127)), 5, 5); },
                          clean));
    EXPECT_TRUE(unchanged([](cv::Mat& m) { RemoveFoxing(m, 3, 2, 0.05); }, Page()));
    EXPECT_TRUE(unchanged([](cv::Mat& m) { RemoveCrease(m, cv::Rect(300, 300, 10, 10), 10, 22, 25); }, clean));
    EXPECT_TRUE(unchanged([](cv::Mat& m) { RemoveCrease(m, cv::Rect(0, 0, 160, 120), 10, 22, 25); },
                          cv::Mat(120, 160, CV_8UC3, cv::Scalar(120, 130, 140))));
    CrackParams p;
    p.start = p.end = cv::Point(10, 10);
    cv::Mat out = clean.clone();
    EXPECT_NO_THROW(RemoveCrack(out, p));
    p.start = cv::Point(0, 0);
    p.end = cv::Point(59, 39);
    p.degStart = p.degStop = 90;   // the search can only go sideways: still ends
    EXPECT_NO_THROW(RemoveCrack(out, p));
}
