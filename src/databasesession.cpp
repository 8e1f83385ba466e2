#include "databasesession.h"

#include "cardformat.h"
#include "compactionwait.h"
#include "snapshots.h"
#include "taskconnection.h"
#include "testdatagenerator.h"
#include "windowtask.h"
#include "workpool.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QWidget>
#include <QtConcurrent>

namespace {

QString translate(const char* text)
{
    return QCoreApplication::translate("QZelKorWindow", text);
}

} // namespace

DatabaseSession::DatabaseSession(QWidget* window)
    : QObject(window)
    , m_window(window)
    , m_db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE")))
{}

DatabaseSession::~DatabaseSession()
{
    // The default connection belongs to the window; released with it.
    const QString connection = m_db.connectionName();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection);
}

QString DatabaseSession::chooseNewFile()
{
    return QFileDialog::getSaveFileName(m_window, translate("Укажите файл для новой БД"),
                                        QDir::homePath() + QDir::separator() +
                                            QStringLiteral("new.zelkor"),
                                        translate("DB (*.zelkor)"));
}

QString DatabaseSession::chooseFile()
{
    return QFileDialog::getOpenFileName(m_window, translate("Выберите файл БД"), QString(),
                                        translate("DB (*.zelkor)"));
}

bool DatabaseSession::open(const QString& fileName)
{
    close(false);
    // No file is opened while the one closed last is still being compacted.
    waitForCompaction();
    if (!QFileInfo::exists(fileName) || !openWithForeignKeys(m_db, fileName)) {
        QMessageBox::critical(m_window, m_window->windowTitle(), openFailure(m_db, fileName));
        close(false);
        return false;
    }
    const DatabaseFile::FormatCheck check = DatabaseFile::checkFormat(m_db);
    if (check.format != DatabaseFile::Format::Valid) {
        QMessageBox box(QMessageBox::Critical, QString(), DatabaseFile::formatMessage(check),
                        QMessageBox::Ok);
        box.exec();
        // A refused file is not ours: it is left exactly as it was, without the compaction of
        // a normal close.
        close(false);
        return false;
    }
    reloadSettings();
    m_readOnly = DatabaseFile::isReadOnly(m_db);
    return true;
}

bool DatabaseSession::create(const QString& fileName)
{
    // The file may be the one that is open or being compacted: let go of it before it is
    // overwritten.
    close(false);
    waitForCompaction();
    const QString error = DatabaseFile::createFromTemplate(fileName);
    if (error.isEmpty())
        return true;
    QMessageBox::critical(m_window, translate("Создание БД"),
                          translate("Ошибка создания файла: %1.\r\nОшибка: %2.")
                              .arg(QDir::toNativeSeparators(fileName), error),
                          QMessageBox::Ok);
    return false;
}

void DatabaseSession::close(bool compact)
{
    if (m_db.isOpen()) {
        const QString fileName = m_db.databaseName();
        m_db.close();
        // Every close compacts the file, except when another file is about to be opened; in
        // the background, since a large file takes seconds.
        if (compact)
            m_compaction.start(fileName);
    }
    m_keyFormat = CardFormat::Default;
    m_readOnly = false;
    emit closed();
}

bool DatabaseSession::reloadSettings()
{
    DatabaseFile::Settings settings;
    QString error;
    switch (DatabaseFile::readSettings(m_db, &settings, &error)) {
    case DatabaseFile::SettingsRead::Failed:
        QMessageBox::critical(m_window, translate("Настройка БД"),
                              translate("Ошибка загрузки данных.\r\nSqlError: %1").arg(error));
        return false;
    case DatabaseFile::SettingsRead::Missing:
        return false;
    case DatabaseFile::SettingsRead::Read:
        break;
    }
    m_keyFormat = settings.keyFormat;
    emit settingsLoaded(settings);
    return true;
}

bool DatabaseSession::clear()
{
    // A file that refuses changes gets no snapshot for nothing.
    const QString refusal = DatabaseFile::writeRefusal(m_db);
    if (!refusal.isEmpty()) {
        QMessageBox::critical(m_window, translate("Очистка БД"), refusal);
        return false;
    }
    const QString file = fileName();
    const Snapshots::Taken snapshot = awaitFuture(QtConcurrent::run(
        workPool(), [file] { return Snapshots::take(file, Snapshots::Operation::Clear); }));
    const QString error = snapshot.ok ? DatabaseFile::clearSubscribers(m_db) : snapshot.error;
    if (error.isEmpty())
        return true;
    QMessageBox::critical(m_window, translate("Очистка БД"), error);
    return false;
}

void DatabaseSession::generateTestData(const QString& title,
                                       const std::function<void(int)>& progress)
{
    const QString error =
        awaitFuture(QtConcurrent::run(workPool(), TestData::generateFile, fileName(), progress));
    if (!error.isEmpty())
        QMessageBox::critical(m_window, title, error);
}

void DatabaseSession::warnIfReadOnly()
{
    // Said once here rather than by the first save that fails.
    if (m_readOnly)
        QMessageBox::warning(m_window, translate("Предупреждение"),
                             DatabaseFile::readOnlyMessage());
}

void DatabaseSession::waitForCompaction()
{
    ::waitForCompaction(m_compaction, m_window);
}
