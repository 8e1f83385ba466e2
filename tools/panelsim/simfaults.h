#pragma once

#include "panelsimulator.h"

#include <QMap>

#include <deque>
#include <optional>

// Scripted faults: which requests they hit, and what they do to the answer.
namespace panelsim {

struct Fault
{
    PanelSimulator::FaultKind kind = PanelSimulator::FaultKind::Silence;
    int value = 0;
    int remaining = 0;
};

// The queued faults, per command code or for any command. Not thread-safe: the simulator
// guards it with its panel lock.
class SimFaults
{
public:
    void inject(int command, PanelSimulator::FaultKind kind, int value, int count);
    void clear();
    // The fault for this request, if any: faults of the command first, then those of any
    // command; each is used up after its count.
    std::optional<Fault> take(int command);

private:
    QMap<int, std::deque<Fault>> m_faults;
};

// The answer as the fault leaves it on the line. Silence, ResultCode and Delay are played by
// the caller, as they decide whether and when the panel answers at all.
QByteArray damaged(QByteArray answer, const std::optional<Fault>& fault);

} // namespace panelsim
