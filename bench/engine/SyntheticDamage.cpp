#include "SyntheticDamage.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace veltro::bench {

std::string SampleDataDir() { return "/usr/share/doc/opencv-doc/examples/data"; }

std::vector<std::string> SamplePhotoNames()
{
    return {"baboon.jpg", "fruits.jpg", "building.jpg", "butterfly.jpg", "messi5.jpg", "squirrel_cls.jpg"};
}

cv::Mat MakeDocumentPage(cv::Size size, cv::RNG& rng)
{
    cv::Mat1f grain(size);
    rng.fill(grain, cv::RNG::NORMAL, 0.0, 4.0);
    cv::GaussianBlur(grain, grain, cv::Size(), 0.8);
    const cv::Vec3f paper(float(rng.uniform(170, 195)), float(rng.uniform(205, 220)), float(rng.uniform(228, 242)));
    cv::Mat page(size, CV_8UC3);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const float shade = 1.0f - 0.06f * float(x + y) / float(size.width + size.height);
            for (int c = 0; c < 3; ++c)
                page.at<cv::Vec3b>(y, x)[c] = cv::saturate_cast<uchar>(paper[c] * shade + grain(y, x));
        }
    const int fonts[] = {cv::FONT_HERSHEY_SIMPLEX, cv::FONT_HERSHEY_TRIPLEX, cv::FONT_HERSHEY_COMPLEX};
    const int font = fonts[rng.uniform(0, 3)];
    const double scale = rng.uniform(0.55, 0.8);
    const int lineHeight = static_cast<int>(34 * scale) + 6;
    const int ink = rng.uniform(25, 60);
    for (int y = 40; y < size.height - 30; y += lineHeight) {
        std::string line;
        int x = 30;
        while (true) {
            std::string word;
            const int letters = rng.uniform(2, 9);
            for (int i = 0; i < letters; ++i)
                word += static_cast<char>('a' + rng.uniform(0, 26));
            int base = 0;
            const cv::Size ts = cv::getTextSize(word + " ", font, scale, 1, &base);
            if (x + ts.width > size.width - 30)
                break;
            cv::putText(page, word, cv::Point(x, y), font, scale, cv::Scalar(ink, ink, ink + 5), 1, cv::LINE_AA);
            x += ts.width;
        }
    }
    std::vector<uchar> jpeg;
    cv::imencode(".jpg", page, jpeg, {cv::IMWRITE_JPEG_QUALITY, 92});
    return cv::imdecode(jpeg, cv::IMREAD_COLOR);
}

namespace {

// Blends `colour` into `image` with the per-pixel opacity `alpha`.
void Blend(cv::Mat& image, const cv::Mat1f& alpha, const cv::Vec3f& colour)
{
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x) {
            const float a = alpha(y, x);
            if (a <= 0)
                continue;
            cv::Vec3b& p = image.at<cv::Vec3b>(y, x);
            for (int c = 0; c < 3; ++c)
                p[c] = cv::saturate_cast<uchar>(p[c] * (1 - a) + colour[c] * a);
        }
}

}  // namespace

Damaged AddBlotches(const cv::Mat& clean, cv::RNG& rng, int count, int minRadius, int maxRadius)
{
    Damaged d;
    d.image = clean.clone();
    d.truth = cv::Mat::zeros(clean.size(), CV_8UC1);
    d.userMask = cv::Mat::zeros(clean.size(), CV_8UC1);
    for (int i = 0; i < count; ++i) {
        const int r = rng.uniform(minRadius, maxRadius + 1);
        const cv::Point c(rng.uniform(r + 4, clean.cols - r - 4), rng.uniform(r + 4, clean.rows - r - 4));
        std::vector<cv::Point> poly;
        const double phase = rng.uniform(0.0, 6.28), wobble = rng.uniform(0.1, 0.35);
        const double stretch = rng.uniform(0.6, 1.0);
        for (int k = 0; k < 24; ++k) {
            const double t = 2 * CV_PI * k / 24;
            const double rr = r * (1 + wobble * std::sin(3 * t + phase) + 0.1 * rng.uniform(-1.0, 1.0));
            poly.emplace_back(c.x + int(rr * std::cos(t)), c.y + int(rr * stretch * std::sin(t)));
        }
        cv::Mat1f shape = cv::Mat1f::zeros(clean.size());
        cv::fillPoly(shape, std::vector<std::vector<cv::Point>>{poly}, cv::Scalar(1.0), cv::LINE_AA);
        cv::GaussianBlur(shape, shape, cv::Size(), 1.2);
        const float opacity = float(rng.uniform(0.85, 1.0));
        const int tone = rng.uniform(0, 2) ? rng.uniform(20, 70) : rng.uniform(190, 245);
        const cv::Vec3f colour(float(tone), float(tone + rng.uniform(-10, 10)), float(tone + rng.uniform(0, 20)));
        Blend(d.image, shape * opacity, colour);
        d.truth.setTo(255, shape > 0.02f);
        d.userMask.setTo(255, shape >= 0.5f);
    }
    return d;
}

Damaged AddCrack(const cv::Mat& clean, cv::RNG& rng, int minLength, int maxLength)
{
    Damaged d;
    d.image = clean.clone();
    const double length = std::min<double>(rng.uniform(minLength, maxLength + 1),
                                           0.8 * std::min(clean.cols, clean.rows));
    const double angle = rng.uniform(0.0, CV_PI);
    const cv::Point2d centre(clean.cols / 2.0 + rng.uniform(-0.1, 0.1) * clean.cols,
                             clean.rows / 2.0 + rng.uniform(-0.1, 0.1) * clean.rows);
    const cv::Point2d dir(std::cos(angle), std::sin(angle)), normal(-dir.y, dir.x);
    const double a1 = rng.uniform(2.0, 10.0), a2 = rng.uniform(1.0, 4.0);
    const double f1 = rng.uniform(0.5, 1.5), f2 = rng.uniform(2.0, 5.0), ph = rng.uniform(0.0, 6.28);
    std::vector<cv::Point> path;
    const int steps = static_cast<int>(length);
    for (int i = 0; i <= steps; ++i) {
        const double t = double(i) / steps;
        const double off = a1 * std::sin(CV_PI * t * f1 + ph) * std::sin(CV_PI * t) + a2 * std::sin(2 * CV_PI * t * f2);
        const cv::Point2d p = centre + dir * ((t - 0.5) * length) + normal * off;
        path.emplace_back(cvRound(p.x * 16), cvRound(p.y * 16));
    }
    cv::Mat1f alpha = cv::Mat1f::zeros(clean.size());
    const int width = rng.uniform(1, 4);
    cv::polylines(alpha, std::vector<std::vector<cv::Point>>{path}, false, cv::Scalar(1.0), width, cv::LINE_AA, 4);
    cv::GaussianBlur(alpha, alpha, cv::Size(), 0.6);
    cv::min(alpha, 1.0, alpha);
    const int tone = rng.uniform(235, 256);
    Blend(d.image, alpha * 0.95f, cv::Vec3f(float(tone), float(tone), float(tone)));
    d.truth = alpha > 0.05f;
    auto click = [&](cv::Point q) {
        return cv::Point(q.x / 16 + rng.uniform(-2, 3), q.y / 16 + rng.uniform(-2, 3));
    };
    d.p1 = click(path.front());
    d.p2 = click(path.back());
    return d;
}

Damaged AddFoxing(const cv::Mat& clean, cv::RNG& rng, int count, int minRadius, int maxRadius)
{
    Damaged d;
    cv::Mat1f amount = cv::Mat1f::zeros(clean.size());
    for (int i = 0; i < count; ++i) {
        const int r = rng.uniform(minRadius, maxRadius + 1);
        const cv::Point2f c(float(rng.uniform(r, clean.cols - r)), float(rng.uniform(r, clean.rows - r)));
        const float peak = float(rng.uniform(0.3, 0.7));
        const float sx = r / 1.6f, sy = sx * float(rng.uniform(0.6, 1.0));
        const float rot = float(rng.uniform(0.0, CV_PI));
        const int reach = 3 * r;
        for (int y = std::max(0, int(c.y) - reach); y < std::min(clean.rows, int(c.y) + reach); ++y)
            for (int x = std::max(0, int(c.x) - reach); x < std::min(clean.cols, int(c.x) + reach); ++x) {
                const float dx = x - c.x, dy = y - c.y;
                const float u = dx * std::cos(rot) + dy * std::sin(rot), v = -dx * std::sin(rot) + dy * std::cos(rot);
                const float g = std::exp(-0.5f * (u * u / (sx * sx) + v * v / (sy * sy)));
                // A flattened core with a soft edge, as foxing spots look.
                amount(y, x) += peak * std::min(1.0f, 1.6f * g);
            }
    }
    cv::Mat1f speckle(clean.size());
    rng.fill(speckle, cv::RNG::NORMAL, 1.0, 0.12);
    cv::GaussianBlur(speckle, speckle, cv::Size(), 1.0);
    amount = amount.mul(speckle);
    cv::min(amount, 0.9, amount);
    cv::max(amount, 0.0, amount);
    const cv::Vec3f beta(float(rng.uniform(0.7, 0.85)), float(rng.uniform(0.4, 0.55)), float(rng.uniform(0.15, 0.28)));
    d.image = clean.clone();
    for (int y = 0; y < clean.rows; ++y)
        for (int x = 0; x < clean.cols; ++x) {
            const float a = amount(y, x);
            if (a <= 0)
                continue;
            cv::Vec3b& p = d.image.at<cv::Vec3b>(y, x);
            for (int c = 0; c < 3; ++c)
                p[c] = cv::saturate_cast<uchar>(p[c] * (1 - a * beta[c]));
        }
    d.truth = amount * beta[0] > 0.02f;
    return d;
}

Damaged AddCrease(const cv::Mat& clean, cv::RNG& rng)
{
    Damaged d;
    d.image = clean.clone();
    const double angle = rng.uniform(0.0, CV_PI);
    const cv::Point2d centre(clean.cols * rng.uniform(0.4, 0.6), clean.rows * rng.uniform(0.4, 0.6));
    const cv::Point2d normal(-std::sin(angle), std::cos(angle)), dir(std::cos(angle), std::sin(angle));
    const double ridge = rng.uniform(20.0, 45.0), shadow = rng.uniform(15.0, 40.0);
    const double s1 = rng.uniform(1.0, 2.0), s2 = rng.uniform(1.5, 3.0), gap = 2.5 * s1;
    const double wave = rng.uniform(0.005, 0.02), ph = rng.uniform(0.0, 6.28);
    cv::Mat1f profile(clean.size());
    for (int y = 0; y < clean.rows; ++y)
        for (int x = 0; x < clean.cols; ++x) {
            const cv::Point2d q = cv::Point2d(x, y) - centre;
            const double dd = q.dot(normal), along = q.dot(dir);
            const double mod = 1.0 + 0.3 * std::sin(wave * along + ph);
            profile(y, x) = float(mod * (ridge * std::exp(-dd * dd / (2 * s1 * s1)) -
                                         shadow * std::exp(-(dd - gap) * (dd - gap) / (2 * s2 * s2))));
        }
    for (int y = 0; y < clean.rows; ++y)
        for (int x = 0; x < clean.cols; ++x) {
            cv::Vec3b& p = d.image.at<cv::Vec3b>(y, x);
            for (int c = 0; c < 3; ++c)
                p[c] = cv::saturate_cast<uchar>(p[c] + profile(y, x));
        }
    // The user drags a box from one end of a stretch of the crease to the
    // other, with a little room around it.
    const double half = 0.5 * rng.uniform(0.5, 0.8) * std::hypot(clean.cols, clean.rows);
    const cv::Point2d a = centre - dir * half, b = centre + dir * half;
    const int room = 15;
    d.region = cv::Rect(cv::Point(cvRound(std::min(a.x, b.x)) - room, cvRound(std::min(a.y, b.y)) - room),
                        cv::Point(cvRound(std::max(a.x, b.x)) + room, cvRound(std::max(a.y, b.y)) + room)) &
               cv::Rect(0, 0, clean.cols, clean.rows);
    d.truth = cv::Mat::zeros(clean.size(), CV_8UC1);
    cv::Mat inRegion = cv::abs(profile(d.region)) > 1.5f;
    inRegion.copyTo(d.truth(d.region));
    return d;
}

}  // namespace veltro::bench
