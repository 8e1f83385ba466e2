#include "paneltables.h"

#include "digitcodes.h"

#include <algorithm>

namespace PanelTables {

namespace {

quint8* raw(QByteArray& bytes, int offset)
{
    return reinterpret_cast<quint8*>(bytes.data()) + offset;
}

const quint8* raw(const QByteArray& bytes, int offset)
{
    return reinterpret_cast<const quint8*>(bytes.constData()) + offset;
}

quint8 at(const QByteArray& bytes, int index)
{
    return quint8(bytes.at(index));
}

QByteArray le16(int value)
{
    QByteArray bytes(2, '\0');
    bytes[0] = char(value & 0xFF);
    bytes[1] = char((value >> 8) & 0xFF);
    return bytes;
}

SubscriberImage& imageOf(SubscriberImages& images, int number)
{
    auto it = images.find(number);
    if (it == images.end()) {
        it = images.insert(number, SubscriberImage());
        it->number = number;
    }
    return *it;
}

} // namespace

bool isSubscriberNumber(qint64 number)
{
    return number >= 0 && number < Records;
}

bool putPacked(Blocks& blocks, const Table& table, int number, const QString& value)
{
    if (!isSubscriberNumber(number))
        return false;
    if (value.isEmpty())
        return true;
    const int blockNumber = number / table.perBlock;
    auto it = blocks.find(blockNumber);
    if (it == blocks.end())
        it = blocks.insert(blockNumber, QByteArray(BlockBytes, '\xFF'));
    digitsToPacked(value, raw(*it, (number % table.perBlock) * table.recordSize), table.recordSize);
    return true;
}

QByteArray keyRecord(uint code, int subscriber)
{
    QByteArray record(Keys.recordSize, '\0');
    for (int i = 0; i < 3; ++i)
        record[i] = char((code >> (8 * i)) & 0xFF);
    record.replace(3, 2, le16(subscriber));
    return record;
}

QByteArray blockWriteData(const Table& table, int blockNumber, const QByteArray& block)
{
    const int first = blockNumber * table.perBlock;
    const int records = std::max(0, std::min(table.perBlock, Records - first));
    return le16(first) + block.left(records * table.recordSize);
}

QByteArray keyWriteData(int index, const QByteArray& keyRecords)
{
    return le16(index * Keys.perBlock) + keyRecords.mid(index * BlockBytes, BlockBytes);
}

int keyWriteCount(const QByteArray& keyRecords)
{
    return (keyRecords.size() + BlockBytes - 1) / BlockBytes;
}

int readCount(const Table& table)
{
    return (Records + table.perBlock - 1) / table.perBlock;
}

int readFirst(const Table& table, int n)
{
    return table.perBlock * n;
}

int readSize(const Table& table, int n)
{
    return std::max(0, std::min(table.perBlock, Records - readFirst(table, n)));
}

QByteArray readRequestData(const Table& table, int n)
{
    return le16(readFirst(table, n)) + QByteArray(1, char(readSize(table, n)));
}

bool isEmptyRecord(const QByteArray& record)
{
    return std::all_of(record.cbegin(), record.cend(),
                       [](char byte) { return byte == '\0' || byte == '\xFF'; });
}

bool sameRecords(const Table& table, const QByteArray& written, const QByteArray& read)
{
    if (read.size() < written.size())
        return false;
    for (int offset = 0; offset < written.size(); offset += table.recordSize) {
        const QByteArray mine = written.mid(offset, table.recordSize);
        const QByteArray theirs = read.mid(offset, table.recordSize);
        if (mine != theirs && !(isEmptyRecord(mine) && isEmptyRecord(theirs)))
            return false;
    }
    return true;
}

namespace {

void addPacked(SubscriberImages& images, const Table& table, int n, const QByteArray& records,
               QString SubscriberImage::*field)
{
    const int count = std::min(readSize(table, n), records.size() / table.recordSize);
    for (int i = 0; i < count; ++i) {
        const QByteArray record = records.mid(i * table.recordSize, table.recordSize);
        if (isEmptyRecord(record))
            continue;
        SubscriberImage& image = imageOf(images, readFirst(table, n) + i);
        image.*field = packedToDigits(raw(record, 0), table.recordSize);
    }
}

} // namespace

void addApartments(SubscriberImages& images, int n, const QByteArray& records)
{
    addPacked(images, Apartments, n, records, &SubscriberImage::apartment);
}

void addPhones(SubscriberImages& images, int n, const QByteArray& records)
{
    addPacked(images, Phones, n, records, &SubscriberImage::phone);
}

void addKeys(SubscriberImages& images, int n, const QByteArray& records)
{
    const int count = std::min(readSize(Keys, n), records.size() / Keys.recordSize);
    for (int i = 0; i < count; ++i) {
        const int offset = i * Keys.recordSize;
        const uint code = at(records, offset) | at(records, offset + 1) << 8 |
                          uint(at(records, offset + 2)) << 16;
        const int subscriber = at(records, offset + 3) | at(records, offset + 4) << 8;
        if (code == 0 || code == 0xFFFFFF || !isSubscriberNumber(subscriber))
            continue;
        imageOf(images, subscriber).keys.append(code);
    }
}

} // namespace PanelTables
