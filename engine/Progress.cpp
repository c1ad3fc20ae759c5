#include "engine/Progress.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace veltro {

Progress::Progress(Sink sink) : m_shared(std::make_shared<Shared>())
{
    m_shared->sink = std::move(sink);
}

Progress Progress::Sub(double from, double to) const
{
    from = std::min(std::max(from, 0.0), 1.0);
    to = std::min(std::max(to, from), 1.0);
    Progress sub = *this;
    sub.m_from = m_from + (m_to - m_from) * from;
    sub.m_to = m_from + (m_to - m_from) * to;
    return sub;
}

Progress Progress::Part(int index, int count) const
{
    if (count <= 0)
        return Sub(1.0, 1.0);
    return Sub(double(index) / count, double(index + 1) / count);
}

void Progress::Report(double fraction) const
{
    if (!m_shared || !m_shared->sink || !(fraction >= 0.0))
        return;
    fraction = std::min(fraction, 1.0);
    // A tiny allowance, so that a share ending at exactly 0.3 reports 30
    // even after rounding in the products above.
    const int percent = std::min(100, static_cast<int>(std::floor(100.0 * (m_from + (m_to - m_from) * fraction) + 1e-9)));
    if (percent <= m_shared->last)
        return;
    m_shared->last = percent;
    m_shared->sink(percent);
}

void Progress::Report(long long done, long long total) const
{
    Report(total > 0 ? double(done) / double(total) : 1.0);
}

int Progress::Last() const
{
    return m_shared ? m_shared->last : -1;
}

}  // namespace veltro
