#include "csvimport.h"

#include "cardformat.h"
#include "databasefile.h"
#include "snapshots.h"
#include "sqlmessages.h"
#include "sqltransaction.h"
#include "taskconnection.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QScopedPointer>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextCodec>
#include <QVariant>

#include <algorithm>

namespace {

// Rows the import skips, and why: silent unless switched on with
// QT_LOGGING_RULES="ostrovel.csv.debug=true".
Q_LOGGING_CATEGORY(lcImport, "ostrovel.csv", QtWarningMsg)

constexpr qint64 MaxApartment = 99999999;
constexpr qint64 MaxPhone = 999999999999;
constexpr int ApartmentLength = 8;
constexpr int PhoneLength = 12;
constexpr uint MaxPreviewKeyCode = 0xFFFFFF;
// Larger files are refused rather than read whole into memory several times over.
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

QString translate(const char* text)
{
    return QCoreApplication::translate("QImportToDB", text);
}

// A decimal number within [0, maximum], or any negative number when negatives pass.
bool readNumber(const QString& text, qint64 maximum, bool negativesPass, qint64* value = nullptr)
{
    bool ok = false;
    const qint64 number = text.toLongLong(&ok, 10);
    if (value)
        *value = number;
    return ok && number <= maximum && (negativesPass || number >= 0);
}

// Padded on the left with "0" to length, or cut to its last length characters.
QString fitted(const QString& text, int length)
{
    return text.size() > length ? text.right(length) : text.rightJustified(length, u'0');
}

QString lastCharacters(const QString& text, int length)
{
    return text.size() > length ? text.right(length) : text;
}

// The bytes a codec reads: for UTF-16 and UTF-32, whole code units only, so that a unit cut
// off at the end of a file is left out with Qt 6 as with Qt 5, whose decoders dropped it
// where Qt 6's read it as a replacement character.
int wholeCodeUnits(const QTextCodec* codec, int size)
{
    switch (codec->mibEnum()) {
    case 1013: // UTF-16BE
    case 1014: // UTF-16LE
    case 1015: // UTF-16
        return size - size % 2;
    case 1017: // UTF-32
    case 1018: // UTF-32BE
    case 1019: // UTF-32LE
        return size - size % 4;
    }
    return size;
}

} // namespace

bool CsvImportLine::isEmpty() const
{
    return subscriber < 0 && keyCode < 0 && apartment.isNull() && phone.isNull() &&
           std::all_of(fields.begin(), fields.end(), [](const QString& f) { return f.isNull(); });
}

namespace CsvImport {

QString keyPattern(int format)
{
    switch (format) {
    case CardFormat::TouchMemory:
        return QStringLiteral("^([0-9a-fA-F]{1,16})$");
    case CardFormat::EmMarin:
        return QStringLiteral("^(\\d{1,3}),(\\d{1,5})$");
    case CardFormat::Digits:
        return QStringLiteral("^(\\d{1,7})$");
    case CardFormat::TenDigits:
        return QStringLiteral("^(\\d{1,10})$");
    }
    return {};
}

QString normalisedKeyText(int format, const QString& text, uint code)
{
    switch (format) {
    case CardFormat::TouchMemory:
        return fitted(text, 16);
    case CardFormat::EmMarin:
        return cardToText(CardFormat::EmMarin, code);
    case CardFormat::Digits:
        return fitted(text, 7);
    case CardFormat::TenDigits:
        return fitted(text, 10);
    }
    return text;
}

LineReader::LineReader(const QString& separator, const QVector<int>& columns, int keyFormat,
                       const QString& keyPattern)
    : m_separator(Csv::separatorText(separator))
    , m_columns(columns)
    , m_keyFormat(keyFormat)
    , m_keyExpression(keyExpression(keyFormat, keyPattern))
{}

LineReader::LineReader(const CsvImportOptions& options)
    : LineReader(options.separator, options.columns, options.keyFormat, options.keyPattern)
{}

QVector<QStringView> LineReader::fields(const QString& line) const
{
    return Csv::splitFields(line, m_separator, m_columns.size());
}

CsvImportLine LineReader::read(const QString& line) const
{
    CsvImportLine result;
    const QVector<QStringView> texts = fields(line);
    for (int n = 0; n < texts.size(); ++n) {
        // Trimmed again after the cut, which can bare blanks: "123" and 300 blanks before more
        // text would otherwise read as the number 123 and be stored as eight blanks.
        const QString text = texts.at(n).trimmed().left(MaxFieldLength).trimmed().toString();
        if (text.isEmpty())
            continue;
        qint64 number = 0;
        switch (const int column = m_columns.at(n)) {
        case Csv::Subscriber:
            if (readNumber(text, MaxSubscribers - 1, false, &number))
                result.subscriber = int(number);
            break;
        case Csv::Apartment:
            // Negative numbers pass here; the preview shows them as faulty.
            if (readNumber(text, MaxApartment, true))
                result.apartment = lastCharacters(text, ApartmentLength);
            break;
        case Csv::Phone:
            if (readNumber(text, MaxPhone, true))
                result.phone = lastCharacters(text, PhoneLength);
            break;
        case Csv::Key: {
            const uint code = textToCardCompiled(m_keyFormat, text, m_keyExpression);
            if (code >= 1 && code <= MaxKeyCode) {
                result.keyCode = int(code);
                result.keyText = normalisedKeyText(m_keyFormat, text, code);
            }
            break;
        }
        default:
            if (column >= Csv::FirstField && column < Csv::ColumnCount)
                result.fields[column - Csv::FirstField] = text;
        }
    }
    return result;
}

bool LineReader::cellValid(int column, const QString& text) const
{
    if (text.isEmpty())
        return true;
    switch (column) {
    case Csv::Subscriber:
        return readNumber(text, MaxSubscribers - 1, false);
    case Csv::Apartment:
        return readNumber(text, MaxApartment, false);
    case Csv::Phone:
        return readNumber(text, MaxPhone, false);
    case Csv::Key: {
        const uint code = textToCardCompiled(m_keyFormat, text, m_keyExpression);
        return code >= 1 && code <= MaxPreviewKeyCode;
    }
    }
    return true;
}

bool readFile(const QString& fileName, QByteArray* bytes, QString* error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    if (file.size() > MaxFileSize) {
        *error = translate("Файл слишком большой: %1 байт.").arg(file.size());
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    return true;
}

QStringList decodeLines(const QByteArray& bytes, const QString& codecName)
{
    const QTextCodec* codec = Csv::codec(codecName);
    return Csv::splitLines(codec->toUnicode(bytes.left(wholeCodeUnits(codec, int(bytes.size())))));
}

} // namespace CsvImport

namespace {

// The lowest free subscriber numbers, kept as the import adds subscribers instead of asked
// of the database for every line.
class FreeNumbers
{
public:
    explicit FreeNumbers(QSqlDatabase& db)
        : m_used(CsvImport::MaxSubscribers, false)
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.exec(QStringLiteral("SELECT id FROM subscriber"));
        while (query.next())
            markUsed(query.value(0).toLongLong());
    }
    void markUsed(qint64 id)
    {
        if (id >= 0 && id < m_used.size())
            m_used[int(id)] = true;
    }
    // -1 when every number is taken.
    int lowest()
    {
        while (m_next < m_used.size() && m_used.at(m_next))
            ++m_next;
        return m_next < m_used.size() ? m_next : -1;
    }

private:
    QVector<bool> m_used;
    int m_next = 0;
};

// The statements' placeholders in order; bound by position, which spares a lookup by name for
// every value of every line.
enum SubscriberValue { SubscriberId, SubscriberApartment, SubscriberPhone, SubscriberFields };
enum KeyValue { KeyId, KeySubscriber, KeyType, KeyNumber, KeyFields };

void bindFields(QSqlQuery& query, int first, const CsvImportLine& line)
{
    for (int n = 0; n < Csv::FieldCount; ++n)
        query.bindValue(first + n, line.fields.at(size_t(n)));
}

class Importer
{
public:
    enum class End { Done, Cancelled, NoFreeNumber, Failed };

    Importer(QSqlDatabase& db, const CsvImportOptions& options, const Csv::Progress& progress)
        : m_db(db)
        , m_options(options)
        , m_progress(progress)
        , m_reader(options)
        , m_subscriber(db)
        , m_key(db)
    {
        m_prepared = m_subscriber.prepare(QStringLiteral(
            "INSERT INTO subscriber  (id, apartment, phone, field1, field2, field3, field4, "
            "field5, field6, field7, field8, field9, field10) VALUES (:id, :apartment, :phone, "
            ":field1, :field2, :field3, :field4, :field5, :field6, :field7, :field8, :field9, "
            ":field10) "));
        m_prepared =
            m_prepared &&
            m_key.prepare(QStringLiteral(
                "INSERT INTO card  (id, subscriber_id, type, number, field1, field2, field3, "
                "field4, field5, field6, field7, field8, field9, field10) VALUES (:id, "
                ":subscriber_id, :type, :number, :field1, :field2, :field3, :field4, :field5, "
                ":field6, :field7, :field8, :field9, :field10) "));
    }

    End run(const QStringList& lines)
    {
        if (!m_prepared)
            return fail(sqlErrorMessage(
                translate("Ошибка подготовки записи в БД.\r\n%1").arg(translate(Abandoned)),
                m_subscriber.lastError().isValid() ? m_subscriber.lastError() : m_key.lastError()));
        if (m_options.clearDatabase) {
            // Failing, the import would merge into what was to be cleared.
            const QString error = DatabaseFile::clearSubscribers(m_db);
            if (!error.isEmpty())
                return fail(QStringLiteral("%1\r\n%2.").arg(error, translate(Abandoned)));
        }
        if (m_options.subscriberMode == CsvImportOptions::AutoCreate)
            m_free.reset(new FreeNumbers(m_db));
        const int skip = m_options.ignoreFirstLine ? 1 : 0;
        const int total = std::max(0, int(lines.size()) - skip);
        m_progress.maximum(total);
        for (int index = skip; index < lines.size(); ++index) {
            if (m_progress.cancelled())
                return End::Cancelled;
            const CsvImportLine line = m_reader.read(lines.at(index));
            // A line that gives nothing (a final line break, a row of separators) would only
            // make an empty subscriber.
            if (!line.isEmpty()) {
                const End end = importLine(line);
                if (end != End::Done)
                    return end;
            }
            m_progress.value(index - skip + 1, total);
        }
        return m_progress.cancelled() ? End::Cancelled : End::Done;
    }

    int subscribersAdded = 0;
    int keysAdded = 0;
    QString failure; // why the import stopped, with End::Failed

private:
    static constexpr const char* Abandoned =
        QT_TRANSLATE_NOOP("QImportToDB", "Импорт отменён, БД не изменена");

    End fail(const QString& message)
    {
        failure = message;
        return End::Failed;
    }

    // Whether a refused row stops the import: only the constraint violations are the file's
    // own faults, left out row by row; anything else (a read-only or full disk, a damaged
    // file) would leave out every row that follows.
    End refused(const QString& what, const QSqlError& error)
    {
        qCDebug(lcImport) << what << error.text();
        if (isConstraintViolation(error, {}))
            return End::Done;
        return fail(sqlErrorMessage(
            translate("Ошибка записи в БД: %1.\r\n%2").arg(what, translate(Abandoned)), error));
    }

    End importLine(const CsvImportLine& line)
    {
        int id = line.subscriber;
        if (m_options.subscriberMode == CsvImportOptions::AutoCreate) {
            id = m_free->lowest();
            if (id < 0)
                return End::NoFreeNumber;
        } else if (m_options.subscriberMode == CsvImportOptions::BindTo) {
            id = m_options.boundSubscriber;
        }
        if (m_progress.cancelled() || id < 0)
            return End::Done;
        if (!m_known.contains(id)) {
            const End end = addSubscriber(id, line);
            if (end != End::Done)
                return end;
        }
        if (!m_progress.cancelled() && line.keyCode >= 1)
            return addKey(id, line);
        return End::Done;
    }

    End addSubscriber(int id, const CsvImportLine& line)
    {
        m_subscriber.bindValue(SubscriberId, id);
        m_subscriber.bindValue(SubscriberApartment, line.apartment.isEmpty()
                                                        ? QVariant(QString())
                                                        : QVariant(line.apartment));
        // The column is NOT NULL with '' meaning no phone, as the subscriber dialog stores it.
        m_subscriber.bindValue(SubscriberPhone,
                               line.phone.isNull() ? QStringLiteral("") : line.phone);
        bindFields(m_subscriber, SubscriberFields, line);
        bool added = m_subscriber.exec();
        if (!added) {
            const QSqlError error = m_subscriber.lastError();
            if (isConstraintViolation(error, {QStringLiteral("subscriber.id")})) {
                // It exists already and receives the line's key.
                qCDebug(lcImport) << "subscriber" << id << error.text();
                m_known.insert(id);
                return End::Done;
            }
            if (isConstraintViolation(error, {QStringLiteral("subscriber.apartment")})) {
                qCDebug(lcImport) << "subscriber" << id << error.text();
                m_subscriber.bindValue(SubscriberApartment, QVariant(QString()));
                added = m_subscriber.exec();
            }
            if (!added)
                return refused(translate("абонент '%1' не добавлен").arg(id),
                               m_subscriber.lastError());
        }
        m_known.insert(id);
        ++subscribersAdded;
        if (m_free)
            m_free->markUsed(id);
        return End::Done;
    }

    End addKey(int id, const CsvImportLine& line)
    {
        m_key.bindValue(KeyId, line.keyCode);
        m_key.bindValue(KeySubscriber, id);
        m_key.bindValue(KeyType, m_options.keyFormat);
        m_key.bindValue(KeyNumber, line.keyText);
        bindFields(m_key, KeyFields, line);
        if (!m_key.exec())
            return refused(
                translate("ключ '%1' абонента '%2' не добавлен").arg(line.keyText).arg(id),
                m_key.lastError());
        ++keysAdded;
        return End::Done;
    }

    QSqlDatabase& m_db;
    const CsvImportOptions& m_options;
    const Csv::Progress& m_progress;
    const CsvImport::LineReader m_reader;
    QSqlQuery m_subscriber;
    QSqlQuery m_key;
    bool m_prepared = false;
    QSet<int> m_known;
    QScopedPointer<FreeNumbers> m_free;
};

} // namespace

QRuntimeError importLines(const QString& databaseFile, const QStringList& lines,
                          const CsvImportOptions& options, const Csv::Progress& progress)
{
    TaskConnection connection(databaseFile);
    QSqlDatabase& db = connection.database();
    if (!connection.isOpen())
        return QRuntimeError::failure(
            sqlErrorMessage(translate("Ошибка при запуске SQL транзакции"), db.lastError()));
    const QString refusal = DatabaseFile::writeRefusal(db);
    if (!refusal.isEmpty())
        return QRuntimeError::failure(refusal);
    if (options.clearDatabase) {
        const Snapshots::Taken snapshot =
            Snapshots::take(databaseFile, Snapshots::Operation::CsvImport);
        if (!snapshot.ok)
            return QRuntimeError::failure(snapshot.error);
    }
    // Nothing of a stopped or failed import stays in the database.
    SqlTransaction transaction(db);
    if (!transaction.isActive())
        return QRuntimeError::failure(
            sqlErrorMessage(translate("Ошибка при запуске SQL транзакции"), transaction.error()));

    // The whole import is one transaction; pages that fit in the cache are written once, at
    // its end, instead of being spilled to the file as it grows.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size = -32768"));
    Importer::End end;
    int subscribers = 0;
    int keys = 0;
    QString failure;
    {
        Importer importer(db, options, progress);
        end = importer.run(lines);
        subscribers = importer.subscribersAdded;
        keys = importer.keysAdded;
        failure = importer.failure;
    }
    if (end == Importer::End::Done && transaction.commit())
        return QRuntimeError::success(translate("Импорт данных выполнен успешно.\r\nДобавлено "
                                                "абонентов: %1.\r\nДобавлено ключей: %2.")
                                          .arg(subscribers)
                                          .arg(keys));
    switch (end) {
    case Importer::End::Cancelled:
        return QRuntimeError::cancelled();
    case Importer::End::NoFreeNumber:
        return QRuntimeError::failure(translate("Лимит абонентов исчерпан (25000)."));
    case Importer::End::Failed:
        return QRuntimeError::failure(failure);
    case Importer::End::Done:
        break;
    }
    return QRuntimeError::failure(
        sqlErrorMessage(translate("Ошибка при завершении SQL транзакции"), transaction.error()));
}

QRuntimeError importFile(const QString& databaseFile, const QString& fileName,
                         const CsvImportOptions& options, const Csv::Progress& progress)
{
    QByteArray bytes;
    QString error;
    if (!CsvImport::readFile(fileName, &bytes, &error))
        return QRuntimeError::failure(
            translate("Ошибка открытия файла: %1.\r\nОшибка: %2.").arg(fileName, error));
    return importLines(databaseFile, CsvImport::decodeLines(bytes, options.codecName), options,
                       progress);
}
