#pragma once

#include "cancelflag.h"
#include "exportbreak.h"
#include "exportcontent.h"
#include "panelcopy.h"
#include "paneldialog.h"

#include <QFutureWatcher>

namespace Ui {
class QExport;
}
class ExportChain;
class ImportChain;
class QProgressBar;
class QSqlDatabase;

// Replaces the whole content of the panel with the open database, with a progress bar per
// stage; a thin view over ExportChain. Before exporting it can compare the panel with what the
// export would write and keep a copy of the panel (ImportChain, PanelDiff, PanelCopy); an
// export the link broke off can be resumed at the block that failed. Accepted when the export
// succeeded.
class QExport : public PanelDialogOf<QExport>
{
    Q_OBJECT
public:
    // Without a worker the caller connects the request signals itself.
    QExport(QWidget* parent, QSqlDatabase* db, QSerialPortThread* worker);
    ~QExport() override;

public slots:
    void on_pbClose_clicked();
    void on_pbExport_clicked();
    void on_pbCompare_clicked();
    void on_pbResume_clicked();
    void on_pbForget_clicked();

protected:
    bool isBusy() const override;
    void requestClose() override;
    // Closing leaves the panel as it is, and says so when the panel is incomplete.
    void leave() override;

private:
    QProgressBar* bar(int stage) const;
    QProgressBar* readBar(int stage) const;
    void setBusy(bool busy);
    bool loadContent();
    int keyFormat() const;
    void startReading(bool forCopy);
    QString copyNote() const;
    QString withCopy(const QString& text) const;
    void onProgress(int stage, int value, int maximum);
    void onFinished(bool ok, int stage, const QString& message);
    void onReadFinished(bool ok, int stage, const QString& message);
    void onCopyWritten();
    void copyFailed(const QString& error);
    void showDifferences();
    void showStopped();
    // Sets the chain up to go on with the export an earlier run left; false after saying why
    // not.
    bool restoreKeptBreak();
    // The break of this export kept on disk for any later run, or forgotten.
    void keepBreak();
    void forgetBreak();

    Ui::QExport* ui;
    QSqlDatabase* m_db;
    ExportChain* m_chain;
    ImportChain* m_reading;
    QFutureWatcher<PanelCopy::Result> m_copying;
    CancelFlag m_copyCancel;
    ExportContent m_content;
    QString m_copyPart; // prepared, not yet written
    QString m_copyFile;
    bool m_readingForCopy = false;
    ExportBreak m_kept; // the break kept on disk for this database
};
