#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

#include <csignal>

#include <sys/types.h>

// ostrovel-cli (OSTROVEL_CLI, which the test program defines) running, its output read line by
// line as it comes and its standard error gathered.
class Watcher : public QProcess
{
public:
    explicit Watcher(const QStringList& arguments)
    {
        connect(this, &QProcess::readyReadStandardOutput, this, [this] {
            while (canReadLine())
                lines << QString::fromUtf8(readLine()).trimmed();
        });
        connect(this, &QProcess::readyReadStandardError, this,
                [this] { errors += QString::fromUtf8(readAllStandardError()); });
        clock.start();
        start(OSTROVEL_CLI, arguments);
    }
    ~Watcher() override
    {
        kill();
        waitForFinished();
    }
    // Ends it as systemd or Ctrl+C does; its exit code, or -1.
    int stop(int signal = SIGTERM)
    {
        ::kill(pid_t(processId()), signal);
        if (!waitForFinished(30000))
            return -1;
        QCoreApplication::sendPostedEvents();
        return exitStatus() == QProcess::NormalExit ? exitCode() : -1;
    }

    QElapsedTimer clock;
    QStringList lines;
    QString errors;
};
