#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVector>

#include <functional>

class QTextCodec;

// The delimited text files the database and the events list are exchanged in: a chosen
// separator, a chosen encoding, "\r\n" line ends, no quoting. These rules are shared by the
// dialogs and the background tasks, so that a preview and an import read a file alike.
namespace Csv {

// The columns a file may carry, in their fixed order: subscriber, apartment, phone, key and
// the ten extra fields.
enum Column : int {
    Subscriber = 0,
    Apartment = 1,
    Phone = 2,
    Key = 3,
    FirstField = 4,
};
constexpr int FieldCount = 10;
constexpr int ColumnCount = FirstField + FieldCount;

// The title of a column, as its check box and the header line show it.
QString columnTitle(int column);

// The separator as typed, with every backslash-t pair standing for a TAB.
QString separatorText(const QString& typed);
// The separator that entry index of the separator combo box puts into the field (TAB typed as
// backslash-t); a null text for the custom entry, which keeps what was typed.
QString presetSeparator(int index);

// The text split at every "\n", empty parts kept; a "\r" before the "\n" stays on the line.
QStringList splitLines(const QString& text);
// The fields of a line (one trailing "\r" dropped) at every occurrence of separator, empty
// fields kept; at most limit fields are returned (a negative limit returns all). An empty
// separator leaves the line whole.
QVector<QStringView> splitFields(const QString& line, const QString& separator, int limit = -1);

// Codec names as the encoding combo boxes list them: every name the codec registry knows,
// sorted byte-wise.
QStringList codecNames();
// The codec of that name, or the system locale's when there is none.
QTextCodec* codec(const QString& name);
constexpr const char* DefaultCodec = "windows-1251";

// How a background task reports its progress and learns of a cancel; any member may be empty.
struct Progress
{
    std::function<void(int)> setMaximum;
    std::function<void(int)> setValue;
    std::function<bool()> isCancelled;

    void maximum(int value) const;
    // Reports done lines, every few hundred and at total, to keep the queue to the GUI short.
    void value(int done, int total) const;
    bool cancelled() const;
};

} // namespace Csv
