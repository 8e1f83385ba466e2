#pragma once

#include <QLibraryInfo>
#include <QString>
#include <QTextStream>
#include <QtGlobal>

// The few things that Qt 5 and Qt 6 spell differently, spelt once here so that the rest of the
// program reads the same against both. (The chart classes' namespace is the chart view's
// business, see journalchartview.h.)
namespace QtCompat {

// The folder of Qt's own translations (qtbase_ru and the like).
inline QString translationsPath()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    return QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
}

// Makes the stream write UTF-8, whatever the system's locale (Qt 6's default, not Qt 5's).
inline void setUtf8(QTextStream& stream)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    stream.setEncoding(QStringConverter::Utf8);
#else
    stream.setCodec("UTF-8");
#endif
}

} // namespace QtCompat
