#include "exportbreaknotice.h"

#include "exportbreak.h"

#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

ExportBreakNotice::ExportBreakNotice(QMainWindow* window)
    : QObject(window)
    , m_label(new QLabel(window->statusBar()))
{
    window->installEventFilter(this);
    m_label->setObjectName(QStringLiteral("labelExportBreak"));
    m_label->setTextFormat(Qt::RichText);
    m_label->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_label->hide();
    window->statusBar()->addPermanentWidget(m_label);
    connect(m_label, &QLabel::linkActivated, this, [this] { emit resumeRequested(m_database); });
    refresh();
}

bool ExportBreakNotice::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        refresh();
    return QObject::eventFilter(watched, event);
}

void ExportBreakNotice::refresh()
{
    const QList<ExportBreak> kept = ExportBreak::all();
    m_database = kept.isEmpty() ? QString() : kept.first().database;
    if (kept.isEmpty()) {
        m_label->hide();
        return;
    }
    m_label->setText(QStringLiteral("%1 <a href=\"resume\">%2</a>")
                         .arg(kept.first().text().toHtmlEscaped(), tr("Продолжить экспорт…")));
    m_label->setToolTip(kept.first().text());
    m_label->show();
}
