#pragma once

#include <QObject>
#include <QString>

class QLabel;
class QStatusBar;

// The main window's lasting warning of an export that broke off and left a panel half written:
// in the status bar for as long as the break is kept (by this program or ostrovel-cli), with a
// link that opens the export to go on with it.
class ExportBreakNotice : public QObject
{
    Q_OBJECT
public:
    ExportBreakNotice(QStatusBar* statusBar, QObject* parent);

    // Reads the kept breaks again; the newest is shown.
    void refresh();
    QString database() const { return m_database; }

signals:
    // The user wants to go on with the export into database's panel.
    void resumeRequested(const QString& database);

private:
    QLabel* m_label;
    QString m_database;
};
