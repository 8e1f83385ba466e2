#pragma once

#include "journalquery.h"

#include <QDate>
#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>

class QAction;

namespace Ui {
class QJournalWindow;
}
class JournalFile;
class JournalModel;
class JournalSource;
class PgConnection;
class QComboBox;
class QLabel;

// The journal view: the recorded events newest first, filtered by period, kind and a key,
// apartment, subscriber or name, with their count, a chart of passes and refusals and an export
// to CSV. It only ever reads the journal, so a foreign or damaged file is shown as such and
// left as it was. Records written meanwhile appear by themselves: the journal is asked every
// few seconds whether anything was committed.
class QJournalWindow : public QMainWindow
{
    Q_OBJECT
public:
    // keyFormat tells the key format of the database open at the moment.
    QJournalWindow(const QString& fileName, std::function<int()> keyFormat,
                   QWidget* parent = nullptr);
    ~QJournalWindow() override;

    // Shows parent's journal window on fileName, made on first use and kept for the next.
    static QJournalWindow* open(QWidget* parent, const QString& fileName,
                                std::function<int()> keyFormat);
    // "Журнал событий" (Ctrl+J): opens parent's journal window on the program's journal.
    static QAction* createAction(QWidget* parent, std::function<int()> keyFormat);

    QString fileName() const { return m_fileName; }
    // Shows another journal file.
    void setFileName(const QString& fileName);
    // Shows the fleet journal on a PostgreSQL server (a libpq connection string), or the
    // journal file again when conninfo is empty; remembered without its password.
    void setServer(const QString& conninfo);
    QString server() const { return m_conninfo; }
    QComboBox* siteFilter() const { return m_sites; }
    // The filter the controls set now.
    JournalFilter filter() const;
    JournalModel* model() const { return m_model; }

    // How often the journal is asked for new records.
    static constexpr int UpdateIntervalMs = 2000;

public slots:
    void on_actionRefresh_triggered();
    void on_actionExport_triggered();
    // "Сервер журнала…": asks for the connection string.
    void chooseServer();
    void on_cboxPeriod_currentIndexChanged(int index);
    void on_cboxKind_currentIndexChanged(int index);
    void on_tabWidget_currentChanged(int index);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    enum Period { AllTime, Today, Week, Month, Dates };

    void openJournal();
    bool openServer();
    bool isOpen() const;
    // The filter's reading of the journal shown; null when none is open.
    std::unique_ptr<JournalSource> source(const JournalFilter& filter) const;
    void applyFilter();
    void updateChart();
    void checkForNew();
    void showCount();
    void showProblem(const QString& text);
    // The local days the period covers; from the journal's first record for all time.
    void periodDays(QDate* first, QDate* last) const;
    void saveLayout();
    void restoreLayout();

    Ui::QJournalWindow* ui;
    QString m_fileName;
    std::function<int()> m_keyFormat;
    std::unique_ptr<JournalFile> m_journal;
    JournalModel* m_model;
    QLabel* m_fileLabel = nullptr;
    QString m_conninfo;
    QString m_password; // asked of the person, for this session only
    std::unique_ptr<PgConnection> m_server;
    QLabel* m_siteLabel = nullptr;
    QComboBox* m_sites = nullptr;
    QTimer m_updates;
    QTimer m_typing;
    bool m_chartStale = true;
};
