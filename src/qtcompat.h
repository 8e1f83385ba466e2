#pragma once

#include <QLibraryInfo>
#include <QProcess>
#include <QString>
#include <QTextStream>
#include <QtGlobal>

#include <functional>

// Qt 5 keeps the chart classes in a namespace of their own, Qt 6 in the global one; this lets
// chart code name them plainly against both.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
namespace QtCharts {}
using namespace QtCharts;
#endif

// The few things that Qt 5 and Qt 6 spell differently, spelt once here so that the rest of the
// program reads the same against both.
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

// A process that runs setup in the child between fork and exec.
class ChildSetupProcess : public QProcess
{
public:
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    explicit ChildSetupProcess(std::function<void()> setup)
    {
        setChildProcessModifier(std::move(setup));
    }
#else
    explicit ChildSetupProcess(std::function<void()> setup)
        : m_setup(std::move(setup))
    {}

protected:
    void setupChildProcess() override
    {
        m_setup();
    }

private:
    std::function<void()> m_setup;
#endif
};

} // namespace QtCompat
