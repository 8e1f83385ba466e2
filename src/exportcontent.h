#pragma once

#include "paneltables.h"

#include <QByteArray>
#include <QString>

class QSqlDatabase;

// What an export writes into the panel, read from a database before anything is sent: the
// settings record, the apartment and phone blocks that hold a value, and the key records in
// ascending key code.
struct ExportContent
{
    QByteArray settings; // sealed settings record
    PanelTables::Blocks apartments;
    PanelTables::Blocks phones;
    QByteArray keys; // 5 bytes per key
};

struct ExportLoad
{
    QString error; // the message to show; empty when the content was read
    ExportContent content;
};

// Reads the subscribers, the keys and the settings row. A subscriber number outside the panel's
// tables is refused, so the panel is never cleared for a database it cannot hold.
ExportLoad loadExportContent(QSqlDatabase& db);
