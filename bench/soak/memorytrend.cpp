#include "memorytrend.h"

MemoryTrend::MemoryTrend(int capacity)
{
    // Taken now, so that the samples themselves do not make the memory grow.
    m_samples.reserve(capacity);
}

void MemoryTrend::sample(double seconds, double residentKiB)
{
    if (m_samples.size() < m_samples.capacity())
        m_samples.append(Sample{seconds, residentKiB});
}

int MemoryTrend::samples(double warmUpSeconds) const
{
    int count = 0;
    for (const Sample& s : m_samples)
        count += s.seconds >= warmUpSeconds;
    return count;
}

double MemoryTrend::slopeKiBPerHour(double warmUpSeconds) const
{
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Sample& s : m_samples) {
        if (s.seconds < warmUpSeconds)
            continue;
        n += 1;
        sx += s.seconds;
        sy += s.kiB;
        sxx += s.seconds * s.seconds;
        sxy += s.seconds * s.kiB;
    }
    const double spread = n * sxx - sx * sx;
    if (n < 2 || spread <= 0)
        return 0;
    return (n * sxy - sx * sy) / spread * 3600.0;
}
