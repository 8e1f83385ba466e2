#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

struct ExportContent;
class ExportChain;

// Where an export into the panel broke off and left the panel half written, kept on disk beside
// the database's snapshots until the export is finished, made again in full or forgotten, so
// that any later run of the window or of ostrovel-cli can finish it. What the export sends is
// read again from the database then; its fingerprint tells whether the database still holds
// what was being sent.
struct ExportBreak
{
    QString database; // absolute path of the database file
    QString port;     // the port the panel was reached on
    int stage = -1;   // ExportChain::Stage of the write that failed
    int block = 0;    // that write's block in its stage, from 0
    int blocks = 0;   // the writes the stage takes
    QDateTime time;   // when it broke off, UTC
    QByteArray fingerprint;

    bool isValid() const { return stage >= 0 && !database.isEmpty(); }
    // "Панель заполнена не полностью: экспорт прерван …": when, where, for which database.
    QString text() const;

    // The break chain ended with, for database on port; invalid when the panel is not left
    // half written or the export cannot be resumed.
    static ExportBreak of(const ExportChain& chain, const ExportContent& content,
                          const QString& database, const QString& port);
    // The break kept for database; invalid when none is (or it cannot be read).
    static ExportBreak load(const QString& database);
    // Every break kept, for any database, newest first.
    static QList<ExportBreak> all();
    // Keeps this break for its database, replacing an older one; the error, or empty.
    QString save() const;
    // The break of database is forgotten (the export finished or was made again in full).
    static void forget(const QString& database);
};

// A digest of everything an export writes, to tell whether a database still holds it.
QByteArray exportFingerprint(const ExportContent& content);
