#pragma once

#include <QVector>

// The resident memory of this process, sampled now and then, and how fast it grows after the
// warm-up: the least-squares slope of the samples taken after it.
class MemoryTrend
{
public:
    explicit MemoryTrend(int capacity);

    void sample(double seconds, double residentKiB);
    // KiB per hour over the samples from warmUpSeconds on; 0 with fewer than two.
    double slopeKiBPerHour(double warmUpSeconds) const;
    int samples(double warmUpSeconds) const;
    double first() const { return m_samples.isEmpty() ? 0 : m_samples.first().kiB; }
    double last() const { return m_samples.isEmpty() ? 0 : m_samples.last().kiB; }

private:
    struct Sample
    {
        double seconds = 0;
        double kiB = 0;
    };
    QVector<Sample> m_samples;
};
