// Answer validation as the serial worker sees it: any bytes from the line, arriving in any
// amount. Beyond not crashing, the verdict has to be consistent with the frame layout, and a
// frame the program seals itself has to pass, and fail once one bit of it flips.
#include "harness.h"
#include "protocol.h"

#include <cstddef>
#include <cstdint>

using Protocol::AnswerCheck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray answer(reinterpret_cast<const char*>(data), int(size));
    const AnswerCheck check = Protocol::checkAnswer(answer);
    const int length = size >= 5 ? data[Protocol::OffsetLength] : 0;
    const int frameSize = length == 0 ? Protocol::HeaderSize : Protocol::HeaderSize + length + 1;

    switch (check.status) {
    case AnswerCheck::Incomplete:
        FUZZ_CHECK(answer.size() < check.expected);
        break;
    case AnswerCheck::HeaderCrcError:
        FUZZ_CHECK(answer.size() >= Protocol::HeaderSize);
        FUZZ_CHECK(check.expected == Protocol::HeaderSize);
        break;
    case AnswerCheck::Complete:
    case AnswerCheck::DataCrcError:
        FUZZ_CHECK(check.expected == frameSize && answer.size() >= frameSize);
        FUZZ_CHECK(check.status == AnswerCheck::Complete || length > 0);
        break;
    }
    // The worker keeps only the examined bytes; they must give the same verdict.
    if (check.status != AnswerCheck::Incomplete) {
        const AnswerCheck again = Protocol::checkAnswer(answer.left(check.expected));
        FUZZ_CHECK(again.status == check.status && again.expected == check.expected);
    }

    // The input as the content of a frame sealed here: command, parameter, data.
    if (size >= 2) {
        const QByteArray content = answer.mid(2, 255);
        QByteArray frame = Protocol::sealedHeader(data[0], data[1], quint8(content.size()));
        frame.append(Protocol::sealedData(content));
        const AnswerCheck sealed = Protocol::checkAnswer(frame);
        FUZZ_CHECK(sealed.status == AnswerCheck::Complete && sealed.expected == frame.size());
        // The CRC finds every single-bit error; the flipped bit is picked by the input.
        const int bit = int((data[0] * 256u + data[1]) % uint(frame.size() * 8));
        frame[bit / 8] = char(frame.at(bit / 8) ^ (1 << (bit % 8)));
        FUZZ_CHECK(Protocol::checkAnswer(frame).status != AnswerCheck::Complete);
    }
    return 0;
}
