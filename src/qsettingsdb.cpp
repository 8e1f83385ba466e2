#include "qsettingsdb.h"

#include "cardformat.h"
#include "ui_qsettingsdb.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

const char* const LoadSql = " SELECT    card_format_default, columns,    field1_name, field2_name, "
                            "field3_name, field4_name, field5_name, field6_name, field7_name, "
                            "field8_name, field9_name, field10_name  FROM system WHERE id = 1 ";

const char* const SaveSql =
    " UPDATE system SET    card_format_default=:card_format_default, columns=:columns,    "
    "field1_name=:field1_name, field2_name=:field2_name, field3_name=:field3_name, "
    "field4_name=:field4_name, field5_name=:field5_name,    field6_name=:field6_name, "
    "field7_name=:field7_name, field8_name=:field8_name, field9_name=:field9_name, "
    "field10_name=:field10_name  WHERE id = 1 ";

// Columns of LoadSql before the ten titles.
constexpr int FirstTitleColumn = 2;

} // namespace

QSettingsDB::QSettingsDB(QWidget* parent, QSqlDatabase* db)
    : QDialog(parent)
    , ui(new Ui::QSettingsDB)
    , db(db)
{
    ui->setupUi(this);
    // The dialog keeps to the height its rows need.
    setMaximumHeight(1);
    ui->cbType->addItems(CardFormat::names());
    ui->cbType->setCurrentIndex(CardFormat::Default);
    load();
}

QSettingsDB::~QSettingsDB()
{
    delete ui;
}

QSettingsDB* QSettingsDB::create(QWidget* parent, QSqlDatabase* db)
{
    return new QSettingsDB(parent, db);
}

bool QSettingsDB::exec(QWidget* parent, QSqlDatabase* db)
{
    QScopedPointer<QSettingsDB> dialog(create(parent, db));
    return dialog->QDialog::exec() == QDialog::Accepted;
}

QCheckBox* QSettingsDB::fieldBox(int n) const
{
    QCheckBox* const boxes[FieldCount] = {ui->cbField1, ui->cbField2, ui->cbField3, ui->cbField4,
                                          ui->cbField5, ui->cbField6, ui->cbField7, ui->cbField8,
                                          ui->cbField9, ui->cbField10};
    return boxes[n - 1];
}

QLineEdit* QSettingsDB::fieldEdit(int n) const
{
    QLineEdit* const edits[FieldCount] = {ui->leField1, ui->leField2, ui->leField3, ui->leField4,
                                          ui->leField5, ui->leField6, ui->leField7, ui->leField8,
                                          ui->leField9, ui->leField10};
    return edits[n - 1];
}

void QSettingsDB::load()
{
    QSqlQuery query(db ? *db : QSqlDatabase());
    if (!query.exec(QString::fromLatin1(LoadSql))) {
        QMessageBox::critical(
            this, windowTitle(),
            tr("Ошибка загрузки данных.\r\nSqlError: %1").arg(query.lastError().text()));
        return;
    }
    if (!query.next()) {
        // Without the row there is nothing to show, and saving would change nothing.
        QMessageBox::critical(this, windowTitle(),
                              tr("Ошибка загрузки данных.\r\nSqlError: %1")
                                  .arg(tr("В базе отсутствуют настройки панели.")));
        return;
    }
    // A format this program does not know would be saved back as no selection at all.
    bool ok = false;
    const int format = query.value(0).toInt(&ok);
    ui->cbType->setCurrentIndex(ok ? CardFormat::orDefault(format) : int(CardFormat::Default));
    const qlonglong columns = query.value(1).toLongLong();
    for (int n = 1; n <= FieldCount; ++n) {
        fieldEdit(n)->setText(query.value(FirstTitleColumn + n - 1).toString());
        fieldBox(n)->setChecked(columns & (qlonglong(1) << n));
    }
}

void QSettingsDB::on_pbSave_clicked()
{
    QSqlQuery query(db ? *db : QSqlDatabase());
    if (!query.prepare(QString::fromLatin1(SaveSql))) {
        QMessageBox::critical(
            this, windowTitle(),
            tr("Ошибка подготовки данных.\r\nSqlError: %1").arg(query.lastError().text()));
        return;
    }
    int columns = 0;
    for (int n = 1; n <= FieldCount; ++n) {
        // An empty title is stored as empty text, not NULL; the tree shows the default then.
        const QString title = fieldEdit(n)->text();
        query.bindValue(QStringLiteral(":field%1_name").arg(n),
                        title.isNull() ? QStringLiteral("") : title);
        if (fieldBox(n)->isChecked())
            columns += 1 << n;
    }
    query.bindValue(QStringLiteral(":columns"), columns);
    query.bindValue(QStringLiteral(":card_format_default"), ui->cbType->currentIndex());
    if (!query.exec()) {
        QMessageBox::critical(
            this, windowTitle(),
            tr("Ошибка сохранения данных.\r\nSqlError: %1").arg(query.lastError().text()));
        return;
    }
    // An update that found no settings row saved nothing.
    if (query.numRowsAffected() < 1) {
        QMessageBox::critical(this, windowTitle(),
                              tr("Ошибка сохранения данных.\r\nSqlError: %1")
                                  .arg(tr("В базе отсутствуют настройки панели.")));
        return;
    }
    accept();
}
