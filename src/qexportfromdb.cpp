#include "qexportfromdb.h"

#include "cardformat.h"
#include "csvcontrols.h"
#include "ui_qexportfromdb.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QScopedPointer>
#include <QSqlDatabase>

QExportFromDB::QExportFromDB(QWidget* parent, QSqlDatabase* db)
    : QDialog(parent)
    , ui(new Ui::QExportFromDB)
    , db(db)
{
    ui->setupUi(this);
    connect(ui->pbCancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->cbType->addItem(tr("Индивидуальный формат"));
    ui->cbType->addItems(CardFormat::names());
    CsvControls::fillCodecs(ui->cboxCodecs);
    // The layout raises this to its least height.
    setMaximumHeight(1);
}

QExportFromDB::~QExportFromDB()
{
    delete ui;
}

void QExportFromDB::exec(QWidget* parent, QSqlDatabase* db)
{
    QScopedPointer<QExportFromDB> dialog(new QExportFromDB(parent, db));
    dialog->QDialog::exec();
}

CsvExportOptions QExportFromDB::options() const
{
    const QCheckBox* boxes[] = {ui->cbSubscriber, ui->cbApartment, ui->cbPhone,  ui->cbCard,
                                ui->cbField1,     ui->cbField2,    ui->cbField3, ui->cbField4,
                                ui->cbField5,     ui->cbField6,    ui->cbField7, ui->cbField8,
                                ui->cbField9,     ui->cbField10};
    CsvExportOptions options;
    for (int column = 0; column < Csv::ColumnCount; ++column)
        if (boxes[column]->isChecked())
            options.columns << column;
    options.keyType = ui->cbType->currentIndex();
    options.separator = ui->leSeparator->text();
    options.header = ui->cbHeader->isChecked();
    options.codecName = ui->cboxCodecs->currentText();
    return options;
}

void QExportFromDB::onCancel()
{
    m_cancel.set();
}

void QExportFromDB::on_cboxSeparator_currentIndexChanged(int index)
{
    CsvControls::applySeparatorChoice(ui->leSeparator, index);
}

void QExportFromDB::on_pbExport_clicked()
{
    if (!CsvControls::separatorGiven(this, ui->leSeparator, ui->cboxSeparator))
        return;
    // Proposed beside the database, named after it and the time.
    const QFileInfo database(db->databaseName());
    const QString proposed =
        QDir(database.absolutePath())
            .filePath(QStringLiteral("%1_%2.csv")
                          .arg(database.baseName(), QDateTime::currentDateTime().toString(
                                                        QStringLiteral("yyyyMMdd_hhmmss"))));
    const QString fileName =
        CsvControls::askSaveFile(this, tr("Укажите файл для экспорта"), proposed);
    if (fileName.isEmpty())
        return;
    // Read in the GUI thread; the task sees only these values.
    const CsvExportOptions chosen = options();
    const QString databaseFile = db->databaseName();
    runCancellableTask(this, m_cancel, tr("Процесс экспорта данных из БД"),
                       [=] { return exportData(fileName, databaseFile, chosen); });
}

QRuntimeError QExportFromDB::exportData(const QString& fileName, const QString& databaseFile,
                                        const CsvExportOptions& options)
{
    return exportDatabase(databaseFile, fileName, options,
                          CsvControls::taskProgress(this, &m_cancel));
}
