#include "qsaveevents.h"

#include "csvcontrols.h"
#include "ui_qsaveevents.h"

#include <QDateTime>
#include <QDir>
#include <QScopedPointer>
#include <QTreeWidget>

namespace {

QStringList rowTexts(const QTreeWidgetItem* item, int columns)
{
    QStringList texts;
    texts.reserve(columns);
    for (int column = 0; column < columns; ++column)
        texts << item->text(column);
    return texts;
}

} // namespace

QSaveEvents::QSaveEvents(QWidget* parent, QTreeWidget* events)
    : QDialog(parent)
    , ui(new Ui::QSaveEvents)
    , events(events)
{
    ui->setupUi(this);
    connect(ui->pbCancel, &QPushButton::clicked, this, &QDialog::reject);
    CsvControls::fillCodecs(ui->cboxCodecs);
    setMaximumHeight(1);
}

QSaveEvents::~QSaveEvents()
{
    delete ui;
}

void QSaveEvents::exec(QWidget* parent, QTreeWidget* events)
{
    QScopedPointer<QSaveEvents> dialog(new QSaveEvents(parent, events));
    dialog->QDialog::exec();
}

void QSaveEvents::on_cboxSeparator_currentIndexChanged(int index)
{
    CsvControls::applySeparatorChoice(ui->leSeparator, index);
}

void QSaveEvents::on_pbSave_clicked()
{
    if (!CsvControls::separatorGiven(this, ui->leSeparator, ui->cboxSeparator))
        return;
    const QString proposed = QDir::home().filePath(
        QStringLiteral("events_%1.csv")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmmss"))));
    const QString fileName =
        CsvControls::askSaveFile(this, tr("Укажите файл для событий"), proposed);
    if (fileName.isEmpty())
        return;

    // The list keeps growing while the task runs; the task gets the rows as they are now.
    const int columns = events->columnCount();
    const QStringList titles = rowTexts(events->headerItem(), columns);
    QVector<QStringList> rows;
    rows.reserve(events->topLevelItemCount());
    for (int n = 0; n < events->topLevelItemCount(); ++n)
        rows << rowTexts(events->topLevelItem(n), columns);
    CsvEventsOptions options;
    options.separator = ui->leSeparator->text();
    options.header = ui->cbHeader->isChecked();
    options.codecName = ui->cboxCodecs->currentText();
    runCancellableTask(this, m_cancel, tr("Процесс экспорта данных из БД"),
                       [=] { return saveData(fileName, titles, rows, options); });
}

void QSaveEvents::onCancel()
{
    m_cancel.set();
}

QRuntimeError QSaveEvents::saveData(const QString& fileName, const QStringList& titles,
                                    const QVector<QStringList>& rows,
                                    const CsvEventsOptions& options)
{
    return saveEvents(fileName, titles, rows, options, CsvControls::taskProgress(this, &m_cancel));
}
