#include "guitest.h"

#include "application.h"
#include "modalanswerer.h"
#include "qzelkorwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QPushButton>
#include <QStandardPaths>

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
    ModalAnswerer::watchUnanswered();
}

QSettings settingsStore()
{
    return Application::settings();
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
