#include "qsubscriber.h"

#include "cardformat.h"
#include "mytreewidgetitem.h"
#include "sqlmessages.h"
#include "treerows.h"
#include "ui_qsubscriber.h"

#include <QIntValidator>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScopedPointer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTreeWidget>

namespace {

constexpr int MaxSubscribers = 25000;

// The driver binds a null QString as NULL; an empty line edit may hand one out.
QString notNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

const char* const InsertStatement =
    " INSERT INTO subscriber   (id, apartment, phone, field1, field2, field3, field4, field5, "
    "field6, field7, field8, field9, field10)  VALUES   (:id, :apartment, :phone, :field1, "
    ":field2, :field3, :field4, :field5, :field6, :field7, :field8, :field9, :field10) ";

const char* const UpdateStatement =
    " UPDATE subscriber SET    id = :id, apartment = :apartment, phone = :phone,    field1 = "
    ":field1, field2 = :field2, field3 = :field3, field4 = :field4, field5 = :field5, field6 = "
    ":field6, field7 = :field7, field8 = :field8, field9 = :field9, field10 = :field10  WHERE "
    "id = :old_id ";

} // namespace

QSubscriber::QSubscriber(QWidget* parent, QSqlDatabase* db, QTreeWidget* tree,
                         QTreeWidgetItem* subscriberRow)
    : QDialog(parent)
    , ui(new Ui::QSubscriber)
    , db(db)
    , tree(tree)
    , subscriberRow(subscriberRow)
{
    ui->setupUi(this);
    // The layout raises this to its least height, so the dialog opens no taller than needed.
    setMaximumHeight(1);

    auto* idValidator = new QIntValidator(0, MaxSubscribers - 1, ui->vId);
    // Only plain digits: a localised group separator would not survive toInt().
    QLocale plain = QLocale::c();
    plain.setNumberOptions(QLocale::RejectGroupSeparator);
    idValidator->setLocale(plain);
    ui->vId->setValidator(idValidator);
    // Without Unicode properties \d is 0-9 only, which is all the panel can store.
    ui->vApartment->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^\\d{1,8}$")), ui->vApartment));
    ui->vPhone->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^\\d{1,12}$")), ui->vPhone));

    const QList<QLabel*> labels = {ui->lField1, ui->lField2, ui->lField3, ui->lField4,
                                   ui->lField5, ui->lField6, ui->lField7, ui->lField8,
                                   ui->lField9, ui->lField10};
    const QStringList titles = TreeRow::fieldTitles(tree);
    for (int n = 0; n < labels.size(); ++n)
        labels[n]->setText(titles.value(n));

    if (subscriberRow) {
        const int number = TreeRow::subscriberNumber(subscriberRow);
        setWindowTitle(tr("%1: %2").arg(windowTitle()).arg(number));
        ui->vId->setText(QString::number(number));
        ui->vApartment->setText(subscriberRow->text(TreeRow::Apartment));
        ui->vPhone->setText(subscriberRow->text(TreeRow::Phone));
        const QStringList fields = TreeRow::fields(subscriberRow);
        const QList<QLineEdit*> edits = fieldEdits();
        for (int n = 0; n < edits.size(); ++n)
            edits[n]->setText(fields.value(n));
        return;
    }

    setWindowTitle(tr("%1: Новый").arg(windowTitle()));
    const int number = freeSubscriberId(db);
    if (number < 0)
        QMessageBox::critical(this, windowTitle(), tr("Лимит абонентов исчерпан (25000)."));
    else
        ui->vId->setText(QString::number(number));
}

QSubscriber::~QSubscriber()
{
    delete ui;
}

QSubscriber* QSubscriber::create(QWidget* parent, QSqlDatabase* db, QTreeWidget* tree,
                                 QTreeWidgetItem* subscriberRow)
{
    return new QSubscriber(parent, db, tree, subscriberRow);
}

bool QSubscriber::exec(QWidget* parent, QSqlDatabase* db, QTreeWidget* tree,
                       QTreeWidgetItem* subscriberRow)
{
    QScopedPointer<QSubscriber> dialog(create(parent, db, tree, subscriberRow));
    return dialog->QDialog::exec() == QDialog::Accepted;
}

void QSubscriber::on_pbCancel_clicked()
{
    reject();
}

void QSubscriber::on_pbOk_clicked()
{
    const int number = checkedNumber();
    if (number < 0)
        return;
    if (!save(number))
        return;
    updateTree(number);
    accept();
}

QList<QLineEdit*> QSubscriber::fieldEdits() const
{
    return {ui->vField1, ui->vField2, ui->vField3, ui->vField4, ui->vField5,
            ui->vField6, ui->vField7, ui->vField8, ui->vField9, ui->vField10};
}

QStringList QSubscriber::fieldTexts() const
{
    QStringList texts;
    for (const QLineEdit* edit : fieldEdits())
        texts << edit->text();
    return texts;
}

int QSubscriber::checkedNumber()
{
    bool ok = false;
    const int number = ui->vId->text().toInt(&ok);
    // The validator lets a lone "+" through while typing; that is no number either.
    if (!ok) {
        ui->vId->setFocus();
        QMessageBox::critical(this, windowTitle(), tr("Необходимо указать номер абонента."));
        return -1;
    }
    if (number >= MaxSubscribers) {
        ui->vId->setFocus();
        QMessageBox::critical(this, windowTitle(),
                              tr("Номер абонента должен находиться в пределах 0-24999."));
        return -1;
    }
    return number;
}

bool QSubscriber::save(int number)
{
    QSqlQuery query(*db);
    query.prepare(QLatin1String(subscriberRow ? UpdateStatement : InsertStatement));
    // The number is bound as a number so that "007" or "+7" is stored and shown as 7.
    query.bindValue(QStringLiteral(":id"), number);
    // NULL, not '', for no apartment: the unique index allows any number of NULLs.
    const QString apartment = ui->vApartment->text();
    query.bindValue(QStringLiteral(":apartment"),
                    apartment.isEmpty() ? QVariant(QString()) : QVariant(apartment));
    // The phone column is NOT NULL; no phone is an empty text.
    query.bindValue(QStringLiteral(":phone"), notNull(ui->vPhone->text()));
    const QStringList fields = fieldTexts();
    for (int n = 0; n < fields.size(); ++n)
        query.bindValue(QStringLiteral(":field%1").arg(n + 1), notNull(fields[n]));
    if (subscriberRow)
        query.bindValue(QStringLiteral(":old_id"), TreeRow::subscriberNumber(subscriberRow));
    if (query.exec())
        return true;

    const QSqlError error = query.lastError();
    QString detail;
    if (isConstraintViolation(error, {QStringLiteral("subscriber.id")}))
        detail = tr("Абонент с таким номером '%1' уже зарегистрирован").arg(number);
    else if (isConstraintViolation(error, {QStringLiteral("subscriber.apartment")}))
        detail = tr("Абонент с таким номером квартиры '%1' уже зарегистрирован").arg(apartment);
    QMessageBox::critical(this, windowTitle(), sqlErrorMessage(detail, error));
    return false;
}

void QSubscriber::updateTree(int number)
{
    const QString apartment = ui->vApartment->text();
    const QString phone = ui->vPhone->text();
    if (subscriberRow) {
        TreeRow::setSubscriber(subscriberRow, number, apartment, phone, fieldTexts());
        TreeRow::copyOwnerColumns(subscriberRow);
        return;
    }
    MyTreeWidgetItem* row = TreeRow::newSubscriber(number, apartment, phone, fieldTexts());
    tree->addTopLevelItem(row);
    tree->setCurrentItem(row);
}
