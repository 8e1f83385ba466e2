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

// The events list as a source: its rows are copied when saving starts, since the list keeps
// growing while the task runs.
QSaveEvents::Source listSource(QTreeWidget* events)
{
    QSaveEvents::Source source;
    source.fileNamePrefix = QStringLiteral("events_");
    source.processText = QSaveEvents::tr("Процесс экспорта данных из БД");
    source.prepare = [events]() -> QSaveEvents::Writer {
        const int columns = events->columnCount();
        const QStringList titles = rowTexts(events->headerItem(), columns);
        QVector<QStringList> rows;
        rows.reserve(events->topLevelItemCount());
        for (int n = 0; n < events->topLevelItemCount(); ++n)
            rows << rowTexts(events->topLevelItem(n), columns);
        return [titles, rows](const QString& fileName, const CsvEventsOptions& options,
                              const Csv::Progress& progress) {
            return saveEvents(fileName, titles, rows, options, progress);
        };
    };
    return source;
}

} // namespace

QSaveEvents::QSaveEvents(QWidget* parent, QTreeWidget* events)
    : QSaveEvents(parent, listSource(events))
{}

QSaveEvents::QSaveEvents(QWidget* parent, const Source& source)
    : QDialog(parent)
    , ui(new Ui::QSaveEvents)
    , m_source(source)
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
    exec(parent, listSource(events));
}

void QSaveEvents::exec(QWidget* parent, const Source& source)
{
    QScopedPointer<QSaveEvents> dialog(new QSaveEvents(parent, source));
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
    const QString proposed =
        QDir::home().filePath(m_source.fileNamePrefix +
                              QStringLiteral("%1.csv").arg(QDateTime::currentDateTime().toString(
                                  QStringLiteral("yyyyMMdd_hhmmss"))));
    const QString fileName =
        CsvControls::askSaveFile(this, tr("Укажите файл для событий"), proposed);
    if (fileName.isEmpty())
        return;

    const Writer writer = m_source.prepare();
    CsvEventsOptions options;
    options.separator = ui->leSeparator->text();
    options.header = ui->cbHeader->isChecked();
    options.codecName = ui->cboxCodecs->currentText();
    runCancellableTask(this, m_cancel, m_source.processText,
                       [=] { return saveData(writer, fileName, options); });
}

void QSaveEvents::onCancel()
{
    m_cancel.set();
}

QRuntimeError QSaveEvents::saveData(const Writer& writer, const QString& fileName,
                                    const CsvEventsOptions& options)
{
    return writer(fileName, options, CsvControls::taskProgress(this, &m_cancel));
}
