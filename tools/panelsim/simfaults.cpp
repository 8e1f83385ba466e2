#include "simfaults.h"

#include "simframe.h"

#include <algorithm>

namespace panelsim {

namespace {

QByteArray withBadDataCrc(QByteArray answer)
{
    if (answer.size() == HeaderSize) {
        // A data-less answer gets one data byte so that a broken data CRC can be seen.
        answer[4] = char(1);
        answer[5] = char(crc8(answer.constData(), 5));
        answer.append('\0');
        answer.append(char(crc8(QByteArray(1, '\0')) ^ 0xFF));
        return answer;
    }
    answer[answer.size() - 1] = char(byteAt(answer, answer.size() - 1) ^ 0xFF);
    return answer;
}

QByteArray shortened(const QByteArray& answer, int keep)
{
    const int length = std::clamp(keep, 0, int(byteAt(answer, 4)));
    QByteArray frame = answer.left(HeaderSize);
    frame[4] = char(length);
    frame[5] = char(crc8(frame.constData(), 5));
    if (length > 0) {
        const QByteArray data = answer.mid(HeaderSize, length);
        frame.append(data);
        frame.append(char(crc8(data)));
    }
    return frame;
}

} // namespace

void SimFaults::inject(int command, PanelSimulator::FaultKind kind, int value, int count)
{
    if (count > 0)
        m_faults[command].push_back(Fault{kind, value, count});
}

void SimFaults::clear()
{
    m_faults.clear();
}

std::optional<Fault> SimFaults::take(int command)
{
    for (const int key : {command, int(PanelSimulator::AnyCommand)}) {
        auto it = m_faults.find(key);
        if (it == m_faults.end() || it->empty())
            continue;
        const Fault fault = it->front();
        if (--it->front().remaining <= 0)
            it->pop_front();
        return fault;
    }
    return std::nullopt;
}

QByteArray damaged(QByteArray answer, const std::optional<Fault>& fault)
{
    if (!fault)
        return answer;
    switch (fault->kind) {
    case PanelSimulator::FaultKind::BadHeaderCrc:
        answer[5] = char(byteAt(answer, 5) ^ 0xFF);
        return answer;
    case PanelSimulator::FaultKind::BadDataCrc:
        return withBadDataCrc(answer);
    case PanelSimulator::FaultKind::CutAnswer:
        return answer.left(std::max(0, fault->value));
    case PanelSimulator::FaultKind::ShortData:
        return shortened(answer, fault->value);
    case PanelSimulator::FaultKind::Noise:
        for (int i = 0; i < fault->value; ++i)
            answer.append(char(i * 37 + 11));
        return answer;
    default:
        return answer;
    }
}

} // namespace panelsim
