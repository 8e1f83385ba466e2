#include "windowlayout.h"

#include "application.h"
#include "screenfit.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QMainWindow>
#include <QSettings>
#include <QSplitter>
#include <QTreeWidget>

namespace {

QString settingsKey(const QObject* object, const char* what)
{
    return QStringLiteral("%1/%2").arg(object->objectName(), QLatin1String(what));
}

} // namespace

WindowLayout::WindowLayout(QMainWindow* window, QSplitter* splitter, QTreeWidget* events,
                           QAction* orderEvents, QComboBox* ports)
    : m_window(window)
    , m_splitter(splitter)
    , m_events(events)
    , m_orderEvents(orderEvents)
    , m_ports(ports)
{}

void WindowLayout::restore() const
{
    QSettings settings = Application::settings();
    const auto restore = [&settings](const QString& key, auto apply) {
        if (settings.contains(key))
            apply(settings.value(key));
    };
    QMainWindow* window = m_window;
    // On the first start the form's size, made to fit a smaller screen.
    const QString geometry = settingsKey(window, "Geometry");
    if (settings.contains(geometry))
        window->restoreGeometry(settings.value(geometry).toByteArray());
    else
        ScreenFit::fit(window);
    restore(settingsKey(window, "State"),
            [window](const QVariant& v) { window->restoreState(v.toByteArray(), 0); });
    const QString splitterGeometry = settingsKey(m_splitter, "Geometry");
    const QString splitterState = settingsKey(m_splitter, "State");
    if (settings.contains(splitterGeometry) && settings.contains(splitterState)) {
        m_splitter->restoreGeometry(settings.value(splitterGeometry).toByteArray());
        m_splitter->restoreState(settings.value(splitterState).toByteArray());
    } else {
        m_splitter->setSizes({10000, 0});
    }
    QHeaderView* events = m_events->header();
    restore(settingsKey(m_events, "Geometry"),
            [events](const QVariant& v) { events->restoreGeometry(v.toByteArray()); });
    const QString eventsState = settingsKey(m_events, "State");
    if (settings.contains(eventsState)) {
        events->restoreState(settings.value(eventsState).toByteArray());
    } else {
        // Room for a whole time stamp and the longest key text instead of eliding them.
        const QFontMetrics metrics = m_events->fontMetrics();
        const int margin = 3 * metrics.averageCharWidth();
        events->resizeSection(
            0, metrics.horizontalAdvance(QStringLiteral("0000.00.00 00:00:00.000")) + margin);
        events->resizeSection(1, metrics.horizontalAdvance(QStringLiteral("0000000000000000")) +
                                     margin);
    }
    QAction* order = m_orderEvents;
    restore(order->objectName(), [order](const QVariant& v) { order->setChecked(v.toBool()); });
    QComboBox* ports = m_ports;
    restore(ports->objectName(),
            [ports](const QVariant& v) { ports->setCurrentText(v.toString()); });
}

void WindowLayout::save() const
{
    QSettings settings = Application::settings();
    settings.setValue(settingsKey(m_window, "Geometry"), m_window->saveGeometry());
    settings.setValue(settingsKey(m_window, "State"), m_window->saveState(0));
    settings.setValue(settingsKey(m_splitter, "Geometry"), m_splitter->saveGeometry());
    settings.setValue(settingsKey(m_splitter, "State"), m_splitter->saveState());
    settings.setValue(settingsKey(m_events, "Geometry"), m_events->header()->saveGeometry());
    settings.setValue(settingsKey(m_events, "State"), m_events->header()->saveState());
    settings.setValue(m_orderEvents->objectName(), m_orderEvents->isChecked());
    settings.setValue(m_ports->objectName(), m_ports->currentText());
}
