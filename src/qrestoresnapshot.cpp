#include "qrestoresnapshot.h"

#include "databasefile.h"
#include "datafolders.h"
#include "ui_qrestoresnapshot.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QScopedPointer>
#include <QSqlDatabase>

QRestoreSnapshot::QRestoreSnapshot(QWidget* parent, QSqlDatabase* db)
    : QDialog(parent)
    , ui(new Ui::QRestoreSnapshot)
    , m_databaseFile(db->databaseName())
{
    ui->setupUi(this);
    QHeaderView* header = ui->twSnapshots->header();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    connect(ui->twSnapshots, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { ui->pbRestore->setEnabled(item); });
    fill();
}

QRestoreSnapshot::~QRestoreSnapshot()
{
    delete ui;
}

bool QRestoreSnapshot::exec(QWidget* parent, QSqlDatabase* db)
{
    QScopedPointer<QRestoreSnapshot> dialog(new QRestoreSnapshot(parent, db));
    const QString refusal = DatabaseFile::writeRefusal(*db);
    if (!refusal.isEmpty()) {
        QMessageBox::critical(parent, dialog->windowTitle(), refusal);
        return false;
    }
    return dialog->QDialog::exec() == QDialog::Accepted;
}

void QRestoreSnapshot::fill()
{
    m_snapshots = Snapshots::list(m_databaseFile);
    ui->twSnapshots->clear();
    for (const Snapshots::Snapshot& snapshot : m_snapshots) {
        auto* item = new QTreeWidgetItem(
            ui->twSnapshots,
            {Snapshots::timeText(snapshot), Snapshots::operationTitle(snapshot.operation),
             QString::number(snapshot.subscribers), QString::number(snapshot.keys)});
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    }
    const QString folder = DataFolders::snapshotFolder(m_databaseFile);
    ui->lFolder->setText(m_snapshots.isEmpty()
                             ? tr("Снимков этой БД нет. Папка снимков: %1").arg(folder)
                             : tr("Папка снимков: %1").arg(folder));
    ui->twSnapshots->setCurrentItem(ui->twSnapshots->topLevelItem(0));
    ui->pbRestore->setEnabled(ui->twSnapshots->currentItem());
}

void QRestoreSnapshot::onCancel()
{
    m_cancel.set();
}

void QRestoreSnapshot::on_twSnapshots_itemDoubleClicked(QTreeWidgetItem*, int)
{
    on_pbRestore_clicked();
}

void QRestoreSnapshot::on_pbRestore_clicked()
{
    const int index = ui->twSnapshots->indexOfTopLevelItem(ui->twSnapshots->currentItem());
    if (index < 0 || index >= m_snapshots.size())
        return;
    const Snapshots::Snapshot snapshot = m_snapshots.at(index);
    if (QMessageBox::question(this, windowTitle(), Snapshots::restoreQuestion(snapshot),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    const QString file = m_databaseFile;
    const QRuntimeError result =
        runCancellableTask(this, m_cancel, tr("Восстановление БД из снимка"), [=] {
            emit setMaximum(0);
            return Snapshots::restore(file, snapshot, [this] { return m_cancel.isSet(); });
        });
    if (result.isSuccess())
        accept();
    else
        fill(); // a snapshot of the present state may have been added
}
