#pragma once

#include <QObject>
#include <QString>

class QLabel;
class QMainWindow;

// The main window's lasting warning of an export that broke off and left a panel half written:
// in the status bar for as long as the break is kept (by this program or ostrovel-cli), with a
// link that opens the export to go on with it.
class ExportBreakNotice : public QObject
{
    Q_OBJECT
public:
    // In window's status bar; read again whenever the window is activated, as ostrovel-cli
    // may have left or finished an export meanwhile.
    explicit ExportBreakNotice(QMainWindow* window);

    // Reads the kept breaks again; the newest is shown.
    void refresh();
    QString database() const { return m_database; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // The user wants to go on with the export into database's panel.
    void resumeRequested(const QString& database);

private:
    QLabel* m_label;
    QString m_database;
};
