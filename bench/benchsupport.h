#pragma once

#include "application.h"
#include "databasefile.h"
#include "panelsimulator.h"
#include "qserialportthread.h"
#include "testdatagenerator.h"

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QString>

#include <cstdio>

// A memory figure of this process from /proc/self/status, in KiB: "VmRSS:" for the resident
// size now, "VmHWM:" for its peak.
inline double processMemoryKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toDouble();
    return 0;
}

// A benchmark of the window or the dialogs: a throw-away settings store, the program's identity
// and its resources. Call before the application object exists.
inline void prepareWidgetBenchmark()
{
    QStandardPaths::setTestModeEnabled(true);
    Application::setIdentity();
    Application::initResources();
}

// A simulated panel that answers at the panel's line rate; false after telling why it does not
// start.
inline bool startPacedSimulator(PanelSimulator& sim)
{
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return false;
    }
    sim.setLinePacing(true);
    return true;
}

// The serial worker on the port at path; false after telling why it does not open.
inline bool openWorker(QSerialPortThread& thread, const QString& path)
{
    QSerialPort::SerialPortError error;
    QString text;
    if (!thread.start(path, error, text)) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path), qPrintable(text));
        return false;
    }
    return true;
}

// A database file of the test generator's 24 999 subscribers with one key each; false after
// telling why it could not be made.
inline bool createTestDatabase(const QString& file)
{
    QString error = DatabaseFile::createFromTemplate(file);
    if (error.isEmpty())
        error = TestData::generateFile(file, [](int) {});
    if (!error.isEmpty())
        std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(error));
    return error.isEmpty();
}
