#include "guitest.h"

#include "application.h"
#include "modalanswerer.h"
#include "qzelkorwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

QtMessageHandler previousHandler = nullptr;

void filterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // The offscreen platform says so for every top-level window; it means nothing here.
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    previousHandler(type, context, message);
}

} // namespace

void prepareGuiTest()
{
    QStandardPaths::setTestModeEnabled(true);
    Application::setIdentity();
    Application::initResources();
    // The offscreen platform defaults to 12 points; desktops commonly use 10.
    QFont font = QApplication::font();
    font.setPointSize(10);
    QApplication::setFont(font);
    previousHandler = qInstallMessageHandler(filterMessages);
    keepSnapshotsAside();
    ModalAnswerer::watchUnanswered();
}

void keepSnapshotsAside()
{
    static QTemporaryDir folder;
    qputenv("OSTROVEL_SNAPSHOTS", folder.path().toUtf8());
}

QSettings settingsStore()
{
    return Application::settings();
}

QMap<QString, QByteArray> folderContents(const QString& path)
{
    QMap<QString, QByteArray> files;
    for (const QFileInfo& info : QDir(path).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile file(info.filePath());
        files[info.fileName()] = file.open(QIODevice::ReadOnly) ? file.readAll() : "?";
    }
    return files;
}

bool makeFile(const QString& file, const QByteArray& content)
{
    if (content.startsWith("sql:")) {
        QProcess sqlite;
        sqlite.start(QStringLiteral("sqlite3"), {file, QString::fromUtf8(content.mid(4))});
        return sqlite.waitForFinished() && sqlite.exitCode() == 0;
    }
    QFile out(file);
    return out.open(QIODevice::WriteOnly) && out.write(content) == content.size();
}

bool connectWindow(QZelKorWindow* window, const QString& portName)
{
    auto* ports = childOf<QComboBox>(window, "cbListPort");
    const int index = ports->findText(portName);
    if (index < 0)
        return false;
    ports->setCurrentIndex(index);
    childOf<QPushButton>(window, "pbConnectPort")->click();
    return window->serialThread()->isRunning();
}

QString linkIndicator(QZelKorWindow* window)
{
    auto* label = childOf<QLabel>(window, "labelStatus");
    const QImage shown = label->pixmap(Qt::ReturnByValue).toImage();
    for (const char* colour : {"white", "yellow", "green", "red"})
        if (shown == QPixmap(QString(":/images/circle_") + colour).toImage())
            return QString("%1: %2").arg(QLatin1String(colour), label->toolTip());
    return "unknown: " + label->toolTip();
}
