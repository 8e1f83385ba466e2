#include "mainwindowjournal.h"

#include "actionjournal.h"
#include "datafolders.h"
#include "journalrecorder.h"
#include "qserialportthread.h"

#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QSqlDatabase>
#include <QStatusBar>

MainWindowJournal::MainWindowJournal(QMainWindow* window, QSerialPortThread* worker,
                                     QSqlDatabase* database)
    : QObject(window)
    , m_window(window)
    , m_database(database)
    , m_recorder(new JournalRecorder(DataFolders::defaultJournalFile(), this))
    , m_owners(database)
    , m_fault(new QLabel(window))
{
    m_recorder->attach(worker);
    ActionJournal::setRecorder(m_recorder);
    connect(m_recorder, &JournalRecorder::recordingFailed, this,
            &MainWindowJournal::onRecordingFailed);
    connect(m_recorder, &JournalRecorder::recordingResumed, this,
            &MainWindowJournal::onRecordingResumed);
    connect(m_recorder, &JournalRecorder::ownersUnavailable, window->statusBar(),
            [this](const QString& message) { m_window->statusBar()->showMessage(message); });
    m_fault->setObjectName(QStringLiteral("labelJournalFault"));
    m_fault->hide();
    window->statusBar()->addPermanentWidget(m_fault);
}

MainWindowJournal::~MainWindowJournal()
{
    // What was received is written before the window is gone.
    m_recorder->close();
}

void MainWindowJournal::databaseOpened(bool open)
{
    m_owners.clear();
    m_recorder->setDatabase(open ? m_database->databaseName() : QString());
}

void MainWindowJournal::linkStarted(const QString& port)
{
    m_recorder->linkStarted(port);
}

void MainWindowJournal::onRecordingFailed(const QString& reason)
{
    m_fault->setText(tr("Журнал событий не записывается: %1").arg(reason));
    m_fault->show();
    QMessageBox::warning(m_window, tr("Предупреждение"),
                         tr("События не записываются в журнал.\r\n%1").arg(reason));
}

void MainWindowJournal::onRecordingResumed(qint64 lost)
{
    m_fault->hide();
    if (lost == 0) {
        m_window->statusBar()->showMessage(
            tr("Запись в журнал событий возобновлена, все события сохранены."), 30000);
        return;
    }
    QMessageBox::warning(
        m_window, tr("Предупреждение"),
        tr("Запись в журнал событий возобновлена.\r\nНе записано событий: %1.").arg(lost));
}
