#pragma once
// How far a run of the engine has come. A run reports whole percentages
// 0..100 to a sink (the command line prints them as "progress N"); each step
// of the work gets a share of its caller's range through Sub() and reports
// its own advance as a fraction 0..1 of that share, without knowing where the
// share lies. The sink is told only when the whole percentage grows, so the
// steps may report as often as they like (per row, per block) and a huge
// picture never produces more than 101 reports.

#include <functional>
#include <memory>

namespace veltro {

class Progress {
public:
    using Sink = std::function<void(int percent)>;

    // Reports nowhere: what the restorations get when nobody asked.
    Progress() = default;
    // The whole run, 0..100 %, told to `sink`.
    explicit Progress(Sink sink);

    // The part [from, to] (fractions of this range) of this range.
    Progress Sub(double from, double to) const;
    // The `index`-th of `count` equal parts of this range.
    Progress Part(int index, int count) const;

    // This range is `fraction` (0..1) done. Lower values than already
    // reported are ignored.
    void Report(double fraction) const;
    // `done` of `total` steps are done.
    void Report(long long done, long long total) const;

    // The last percentage told to the sink, -1 before the first.
    int Last() const;

private:
    struct Shared {
        Sink sink;
        int last = -1;
    };
    std::shared_ptr<Shared> m_shared;
    double m_from = 0.0;
    double m_to = 1.0;
};

}  // namespace veltro
