#include "protocol.h"

#include "crc8.h"

namespace Protocol {

namespace {

quint8 at(const QByteArray& bytes, int index)
{
    return quint8(bytes.at(index));
}

const quint8* raw(const QByteArray& bytes, int offset = 0)
{
    return reinterpret_cast<const quint8*>(bytes.constData()) + offset;
}

} // namespace

int answerTimeout(quint8 command)
{
    // Clearing rewrites the panel's whole memory before it answers.
    return command == ClearMemory ? 8000 : 1000;
}

QByteArray sealedHeader(quint8 command, quint8 parameter, quint8 length)
{
    QByteArray header(HeaderSize, '\0');
    header[OffsetCommand] = char(command);
    header[OffsetParameter] = char(parameter);
    header[OffsetLength] = char(length);
    header[OffsetHeaderCrc] = char(crc8(raw(header), 5));
    return header;
}

QByteArray sealedData(const QByteArray& data)
{
    Q_ASSERT(data.size() <= 255);
    if (data.isEmpty())
        return {};
    QByteArray block = data;
    block.append(char(crc8(raw(data), quint8(data.size()))));
    return block;
}

AnswerCheck checkAnswer(const QByteArray& answer)
{
    AnswerCheck check;
    if (answer.size() < HeaderSize)
        return check;
    if (crc8(raw(answer), 5) != at(answer, OffsetHeaderCrc)) {
        check.status = AnswerCheck::HeaderCrcError;
        return check;
    }
    const quint8 length = at(answer, OffsetLength);
    if (length == 0) {
        check.status = AnswerCheck::Complete;
        return check;
    }
    check.expected = HeaderSize + length + 1;
    if (answer.size() < check.expected)
        return check;
    check.status = crc8(raw(answer, OffsetData), length) == at(answer, OffsetData + length)
                       ? AnswerCheck::Complete
                       : AnswerCheck::DataCrcError;
    return check;
}

QByteArray answerData(const QByteArray& answer)
{
    if (answer.size() <= OffsetData)
        return {};
    return answer.mid(OffsetData, at(answer, OffsetLength));
}

} // namespace Protocol
