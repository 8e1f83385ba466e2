#include "windowtask.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>

WindowTask::WindowTask(QMainWindow* window, bool* busy, const QString& name, Lock lock)
    : m_window(window)
    , m_busy(busy)
    , m_lock(lock)
    , m_label(new QLabel(name))
    , m_progress(new QProgressBar)
{
    *m_busy = true;
    if (m_lock == DisableWindow) {
        m_window->centralWidget()->setEnabled(false);
        m_window->menuBar()->setEnabled(false);
    }
    // Busy until the task reports its size.
    m_progress->setRange(0, 0);
    m_progress->setValue(0);
    m_window->statusBar()->addWidget(m_label);
    m_window->statusBar()->addWidget(m_progress, 1);
    QObject::connect(m_window, SIGNAL(setMaximum(int)), m_progress, SLOT(setMaximum(int)),
                     Qt::QueuedConnection);
    QObject::connect(m_window, SIGNAL(setValue(int)), m_progress, SLOT(setValue(int)),
                     Qt::QueuedConnection);
    QApplication::processEvents();
}

WindowTask::~WindowTask()
{
    delete m_progress;
    delete m_label;
    if (m_lock == DisableWindow) {
        m_window->centralWidget()->setEnabled(true);
        m_window->menuBar()->setEnabled(true);
    }
    *m_busy = false;
}
