#include "qimporttodb.h"

#include "cardformat.h"
#include "csvcontrols.h"
#include "csvpreviewmodel.h"
#include "databasefile.h"
#include "sqlmessages.h"
#include "ui_qimporttodb.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QIntValidator>
#include <QMessageBox>
#include <QScopedPointer>
#include <QSignalBlocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {
constexpr int BlinkInterval = 300;
}

QImportToDB::QImportToDB(QWidget* parent, QSqlDatabase* db)
    : QDialog(parent)
    , ui(new Ui::QImportToDB)
    , db(db)
    , m_preview(new CsvPreviewModel(this))
{
    ui->setupUi(this);
    connect(ui->pbCancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->tableData->setModel(m_preview);
    // Every row as high as the separator field; a fixed height spares measuring each row.
    ui->tableData->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    {
        const QSignalBlocker blocker(ui->cbType);
        ui->cbType->addItems(CardFormat::names());
    }
    CsvControls::fillCodecs(ui->cboxCodecs);

    auto* validator = new QIntValidator(0, CsvImport::MaxSubscribers - 1, ui->cboxListSubscriber);
    QLocale plain = QLocale::c();
    plain.setNumberOptions(QLocale::RejectGroupSeparator);
    validator->setLocale(plain);
    ui->cboxListSubscriber->setValidator(validator);
    ui->leRegExp->setText(CsvImport::keyPattern(ui->cbType->currentIndex()));
    for (QCheckBox* box : findChildren<QCheckBox*>())
        if (box != ui->cbClearDB)
            connect(box, &QCheckBox::toggled, ui->actionRefresh, &QAction::trigger);
    extractData();
    fillSubscriberList();
    m_blink.setInterval(BlinkInterval);
    connect(&m_blink, &QTimer::timeout, this, &QImportToDB::onTimeout);
    setPreviewStale(false);
    setMaximumHeight(1);
}

QImportToDB::~QImportToDB()
{
    delete ui;
}

bool QImportToDB::exec(QWidget* parent, QSqlDatabase* db)
{
    QScopedPointer<QImportToDB> dialog(new QImportToDB(parent, db));
    // Said before any choice is made, not after the file is read.
    const QString refusal = DatabaseFile::writeRefusal(*db);
    if (!refusal.isEmpty()) {
        QMessageBox::critical(parent, dialog->windowTitle(), refusal);
        return false;
    }
    return dialog->QDialog::exec() == QDialog::Accepted;
}

void QImportToDB::fillSubscriberList()
{
    ui->cboxListSubscriber->clear();
    QSqlQuery query(*db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id FROM subscriber ORDER BY id"))) {
        QMessageBox::critical(
            this, tr("Получение списка абонентов"),
            sqlErrorMessage(tr("Ошибка получения списка абонентов"), query.lastError()));
        return;
    }
    QStringList ids;
    while (query.next())
        ids << query.value(0).toString();
    ui->cboxListSubscriber->addItems(ids);
    ui->cboxListSubscriber->setCurrentIndex(-1);
}

QVector<int> QImportToDB::columnCodes() const
{
    const QCheckBox* boxes[] = {ui->cbApartment, ui->cbPhone,  ui->cbCard,   ui->cbField1,
                                ui->cbField2,    ui->cbField3, ui->cbField4, ui->cbField5,
                                ui->cbField6,    ui->cbField7, ui->cbField8, ui->cbField9,
                                ui->cbField10};
    QVector<int> codes;
    if (ui->cboxSubscriber->currentIndex() == CsvImportOptions::FromFile)
        codes << Csv::Subscriber;
    for (int column = Csv::Apartment; column < Csv::ColumnCount; ++column)
        if (boxes[column - Csv::Apartment]->isChecked())
            codes << column;
    return codes;
}

int QImportToDB::boundSubscriber() const
{
    bool ok = false;
    const uint id = ui->cboxListSubscriber->currentText().toUInt(&ok);
    return ok && id < uint(CsvImport::MaxSubscribers) ? int(id) : -1;
}

CsvImportOptions QImportToDB::options() const
{
    CsvImportOptions options;
    options.subscriberMode = ui->cboxSubscriber->currentIndex();
    options.boundSubscriber = boundSubscriber();
    options.columns = columnCodes();
    options.keyFormat = ui->cbType->currentIndex();
    options.keyPattern = ui->leRegExp->text();
    options.separator = ui->leSeparator->text();
    options.ignoreFirstLine = ui->cbIgnore->isChecked();
    options.clearDatabase = ui->cbClearDB->isChecked();
    options.codecName = ui->cboxCodecs->currentText();
    return options;
}

bool QImportToDB::loadFile(const QString& fileName)
{
    QByteArray bytes;
    QString error;
    if (!CsvImport::readFile(fileName, &bytes, &error)) {
        QMessageBox::critical(this, tr("Ошибка открытия файла"), error);
        return false;
    }
    m_fileLoaded = true;
    m_bytes = bytes;
    m_lines = CsvImport::decodeLines(m_bytes, ui->cboxCodecs->currentText());
    setPreviewStale(false);
    extractData();
    return true;
}

void QImportToDB::extractData()
{
    ui->pbImport->setEnabled(!m_lines.isEmpty());
    ui->tableData->setUpdatesEnabled(false);
    m_columns = columnCodes();
    const CsvImport::LineReader reader(ui->leSeparator->text(), m_columns,
                                       ui->cbType->currentIndex(), ui->leRegExp->text());
    m_preview->load(m_lines, reader, m_columns, ui->cbIgnore->isChecked());
    ui->tableData->verticalHeader()->setDefaultSectionSize(
        ui->leSeparator->isVisible() ? ui->leSeparator->height()
                                     : ui->leSeparator->sizeHint().height());
    ui->lErrorRows->setText(tr("Строк с ошибками: %1").arg(m_preview->faultyRows()));
    ui->lErrorCells->setText(tr("Всего ошибок: %1").arg(m_preview->errorCells()));
    ui->tableData->setUpdatesEnabled(true);
}

void QImportToDB::setPreviewStale(bool stale)
{
    const bool show = stale && !m_lines.isEmpty();
    ui->pbRefresh->setVisible(show);
    if (show) {
        if (!m_blink.isActive())
            m_blink.start();
        return;
    }
    m_blink.stop();
    ui->pbRefresh->setFlat(false);
}

void QImportToDB::onTimeout()
{
    ui->pbRefresh->setFlat(!ui->pbRefresh->isFlat());
}

void QImportToDB::on_cboxSeparator_currentIndexChanged(int index)
{
    CsvControls::applySeparatorChoice(ui->leSeparator, index);
    if (!m_lines.isEmpty())
        ui->actionRefresh->trigger();
}

void QImportToDB::on_cboxSubscriber_currentIndexChanged(int index)
{
    ui->cboxListSubscriber->setEnabled(index == CsvImportOptions::BindTo);
    ui->actionRefresh->trigger();
}

void QImportToDB::on_pbLoadFile_clicked()
{
    const QString fileName =
        QFileDialog::getOpenFileName(this, tr("Выберите файл с данными"), QString(),
                                     tr("Данные (*.csv *.txt);;Все файлы (*.*)"));
    if (!fileName.isEmpty())
        loadFile(fileName);
}

void QImportToDB::on_leSeparator_textChanged(QString)
{
    setPreviewStale(true);
}

void QImportToDB::on_actionRefresh_triggered(bool)
{
    setPreviewStale(true);
}

void QImportToDB::on_cbType_currentIndexChanged(int index)
{
    ui->leRegExp->setText(CsvImport::keyPattern(index));
    setPreviewStale(true);
}

void QImportToDB::on_leRegExp_textChanged(QString)
{
    setPreviewStale(true);
}

void QImportToDB::on_pbRefresh_clicked()
{
    setPreviewStale(false);
    extractData();
}

void QImportToDB::on_cboxCodecs_currentIndexChanged(int index)
{
    // Without a file there is nothing to decode; an empty text would still make a line.
    if (m_fileLoaded)
        m_lines = CsvImport::decodeLines(m_bytes, ui->cboxCodecs->itemText(index));
    setPreviewStale(false);
    extractData();
}

void QImportToDB::on_pbImport_clicked()
{
    if (ui->cboxSubscriber->currentIndex() == CsvImportOptions::BindTo && boundSubscriber() < 0) {
        QMessageBox::critical(this, windowTitle(), tr("Необходимо указать абонента для привязки."),
                              QMessageBox::Ok);
        ui->cboxListSubscriber->setFocus();
        return;
    }
    if (!CsvControls::separatorGiven(this, ui->leSeparator, ui->cboxSeparator))
        return;
    // Read in the GUI thread; the task sees only these values.
    const CsvImportOptions chosen = options();
    const QStringList lines = m_lines;
    const QString databaseFile = db->databaseName();
    const QRuntimeError result =
        runCancellableTask(this, m_cancel, tr("Процесс импорта данных в БД"),
                           [=] { return importData(databaseFile, lines, chosen); });
    if (result.isSuccess())
        accept();
}

QRuntimeError QImportToDB::importData(const QString& databaseFile, const QStringList& lines,
                                      const CsvImportOptions& options)
{
    return importLines(databaseFile, lines, options, CsvControls::taskProgress(this, &m_cancel));
}

void QImportToDB::onCancel()
{
    m_cancel.set();
}
