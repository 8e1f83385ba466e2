// The panel's table blocks as an import reads them: any answer frame to any read request of
// the apartment, phone or key table. Nothing may land outside the subscriber numbers the
// request asked for, nothing beyond the answer's whole records may be read, and what lands
// must fit the database: apartments of up to 8 digits, phones of up to 12, real key codes.
#include "paneltables.h"
#include "harness.h"
#include "protocol.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

using namespace PanelTables;

const Table* const TablesRead[] = {&Apartments, &Phones, &Keys};

// An apartment or phone record whose bytes are each 00 or FF holds nothing.
bool holdsNothing(const QByteArray& record)
{
    return std::all_of(record.cbegin(), record.cend(),
                       [](char byte) { return byte == '\0' || byte == '\xFF'; });
}

bool isDigits(const QString& text, int maximum)
{
    return text.size() <= maximum && std::all_of(text.cbegin(), text.cend(), [](QChar c) {
               return c >= QLatin1Char('0') && c <= QLatin1Char('9');
           });
}

void add(int table, SubscriberImages& images, int n, const QByteArray& records)
{
    const auto function = table == 0 ? addApartments : table == 1 ? addPhones : addKeys;
    function(images, n, records);
}

bool sameImages(const SubscriberImages& a, const SubscriberImages& b)
{
    if (a.keys() != b.keys())
        return false;
    for (auto it = a.cbegin(); it != a.cend(); ++it) {
        const SubscriberImage& other = b.value(it.key());
        if (it->number != other.number || it->apartment != other.apartment ||
            it->phone != other.phone || it->keys != other.keys)
            return false;
    }
    return true;
}

// The request n asks for records within the table and numbered as the blocks are.
void checkRequest(const Table& table, int n)
{
    const QByteArray request = readRequestData(table, n);
    FUZZ_CHECK(request.size() == 3);
    const int first = quint8(request.at(0)) | quint8(request.at(1)) << 8;
    const int count = quint8(request.at(2));
    FUZZ_CHECK(count <= table.perBlock);
    FUZZ_CHECK((n < readCount(table)) == (count > 0));
    if (count > 0)
        FUZZ_CHECK(first == table.perBlock * n && first + count <= Records);
}

// An apartment or phone written into a block by the export reads back the same from it.
void checkPackedRoundTrip(int table, int number, const QByteArray& digits)
{
    const Table& layout = *TablesRead[table];
    QString value;
    for (int i = 0; i < std::min(int(digits.size()), 2 * layout.recordSize); ++i)
        value += QLatin1Char(char('0' + quint8(digits.at(i)) % 10));
    Blocks blocks;
    FUZZ_CHECK(putPacked(blocks, layout, number, value));
    SubscriberImages images;
    const int block = number / layout.perBlock;
    add(table, images, block, blocks.value(block));
    if (value.isEmpty()) {
        FUZZ_CHECK(blocks.isEmpty() && images.isEmpty());
        return;
    }
    FUZZ_CHECK(images.size() == 1 && images.firstKey() == number);
    FUZZ_CHECK((table == 0 ? images.first().apartment : images.first().phone) == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Table, request number (16 bits: also requests beyond the table's end), answer frame.
    if (size < 3)
        return 0;
    const int table = data[0] % 3;
    const Table& layout = *TablesRead[table];
    const int n = data[1] | data[2] << 8;
    checkRequest(layout, n);

    const ExactBytes frame(data + 3, size - 3);
    const QByteArray answerData = Protocol::answerData(frame.bytes());
    // The records alone, in a block of their own size, so that a read past them is seen.
    const ExactBytes records(answerData);
    SubscriberImages images;
    add(table, images, n, records.bytes());

    const int first = readFirst(layout, n);
    const int whole = std::min(readSize(layout, n), int(answerData.size() / layout.recordSize));
    int keys = 0;
    for (auto it = images.cbegin(); it != images.cend(); ++it) {
        FUZZ_CHECK(isSubscriberNumber(it.key()) && it->number == it.key());
        FUZZ_CHECK(isDigits(it->apartment, 8) && isDigits(it->phone, 12));
        keys += it->keys.size();
        for (uint code : it->keys)
            FUZZ_CHECK(code >= 1 && code < 0xFFFFFF);
        if (table != 2) {
            // A slot of this request's block, holding a record that is not empty.
            FUZZ_CHECK(it.key() >= first && it.key() < first + whole);
            const int slot = it.key() - first;
            FUZZ_CHECK(!holdsNothing(answerData.mid(slot * layout.recordSize, layout.recordSize)));
        }
    }
    if (table == 2) {
        // A key whose code bytes are all 00 or all FF, or whose subscriber number is above
        // 24999, is skipped; every other key is kept.
        int kept = 0;
        for (int i = 0; i < whole; ++i) {
            const QByteArray record = answerData.mid(i * layout.recordSize, layout.recordSize);
            const QByteArray code = record.left(3);
            const int subscriber = quint8(record.at(3)) | quint8(record.at(4)) << 8;
            if (code != QByteArray(3, '\0') && code != QByteArray(3, '\xFF') &&
                subscriber < Records)
                ++kept;
        }
        FUZZ_CHECK(keys == kept);
    } else {
        int filled = 0;
        for (int i = 0; i < whole; ++i)
            filled +=
                holdsNothing(answerData.mid(i * layout.recordSize, layout.recordSize)) ? 0 : 1;
        FUZZ_CHECK(images.size() == filled);
    }

    // Only the whole records the request asked for count: more bytes change nothing.
    SubscriberImages asked;
    add(table, asked, n, answerData.left(whole * layout.recordSize));
    FUZZ_CHECK(sameImages(images, asked));

    // Export and import agree on the records: what is written into a block is read back.
    if (table == 2) {
        const QByteArray head = frame.bytes().left(3);
        uint code = 0;
        for (int i = 0; i < head.size(); ++i)
            code |= uint(quint8(head.at(i))) << (8 * i);
        SubscriberImages keyImages;
        addKeys(keyImages, 0, keyRecord(code, n));
        if (code != 0 && code != 0xFFFFFF && isSubscriberNumber(n))
            FUZZ_CHECK(keyImages.size() == 1 && keyImages.first().keys == QList<uint>{code} &&
                       keyImages.firstKey() == n);
        else
            FUZZ_CHECK(keyImages.isEmpty());
    } else {
        checkPackedRoundTrip(table, n % Records, answerData);
    }
    return 0;
}
