#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// The panel's subscriber tables and the blocks in which they travel. Apartments (4 bytes) and
// phones (6 bytes) are indexed by subscriber number and hold digits packed two per byte; keys
// are records of a 24-bit key code and a 16-bit subscriber number, sorted by key code. A block
// carries a 16-bit first record number and at most 60 bytes of records.
namespace PanelTables {

constexpr int Records = 25000; // subscriber numbers 0 to 24999
constexpr int BlockBytes = 60;

struct Table
{
    int recordSize;
    int perBlock; // records in a full block
};
constexpr Table Apartments = {4, 15};
constexpr Table Phones = {6, 10};
constexpr Table Keys = {5, 12};

bool isSubscriberNumber(qint64 number);

// Blocks of the apartment or phone table by block number, 60 bytes each, empty records FF.
using Blocks = QMap<int, QByteArray>;
// Writes value (empty: nothing) packed into the record of subscriber number in its block,
// creating the block; false for a number outside the table.
bool putPacked(Blocks& blocks, const Table& table, int number, const QString& value);
// The 5-byte record of a key: the code's low 24 bits, then the subscriber number.
QByteArray keyRecord(uint code, int subscriber);

// The data of a write request: the first record number (16 bits), then the block's records,
// cut where the table ends.
QByteArray blockWriteData(const Table& table, int blockNumber, const QByteArray& block);
// The data of write request number index of the key table: up to 12 records from index * 60.
QByteArray keyWriteData(int index, const QByteArray& keyRecords);
int keyWriteCount(const QByteArray& keyRecords);

// Reading: request n asks for the records from perBlock * n, as many as are left up to a
// full block; a whole table takes readCount requests.
int readCount(const Table& table);
int readFirst(const Table& table, int n);
int readSize(const Table& table, int n);
QByteArray readRequestData(const Table& table, int n);

// A subscriber as the panel holds it.
struct SubscriberImage
{
    QList<uint> keys; // key codes in the order read
    int number = 0;
    QString apartment; // empty if none
    QString phone;     // empty if none
};
using SubscriberImages = QMap<int, SubscriberImage>;

// The whole content of a panel: its settings record and its subscribers.
struct PanelImage
{
    QByteArray settings; // 36 bytes as read
    SubscriberImages subscribers;
};

// An apartment or phone record whose bytes are each 00 or FF holds nothing.
bool isEmptyRecord(const QByteArray& record);
// Whether records read back hold the records written, record by record: the same bytes, or
// both empty. Records read beyond those written are not looked at.
bool sameRecords(const Table& table, const QByteArray& written, const QByteArray& read);
// Adds the apartments or phones of an answer to read request n: as many whole records as the
// answer holds and the request asked for.
void addApartments(SubscriberImages& images, int n, const QByteArray& records);
void addPhones(SubscriberImages& images, int n, const QByteArray& records);
// Adds the keys of an answer to read request n; a record whose code bytes are all 00 or all FF,
// or whose subscriber number is above 24999, is skipped.
void addKeys(SubscriberImages& images, int n, const QByteArray& records);

} // namespace PanelTables
