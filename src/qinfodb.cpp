#include "qinfodb.h"

#include "ui_qinfodb.h"

#include <QFileInfo>
#include <QResizeEvent>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

const char* const CountSql =
    "SELECT   (SELECT COUNT(id) FROM subscriber) AS subscriber_count,   (SELECT COUNT(id) FROM "
    "subscriber WHERE apartment IS NOT NULL AND apartment <> '') AS apartment_count,   (SELECT "
    "COUNT(id) FROM subscriber WHERE phone IS NOT NULL AND phone <> '') AS phone_count,   "
    "(SELECT COUNT(id) FROM card) AS card_count";

} // namespace

QInfoDB::QInfoDB(QWidget* parent, QSqlDatabase* db)
    : QDialog(parent)
    , ui(new Ui::QInfoDB)
{
    ui->setupUi(this);
    // The dialog keeps to the height its rows need.
    setMaximumHeight(1);
    load(db);
    fitHeight(width());
}

QInfoDB::~QInfoDB()
{
    delete ui;
}

QInfoDB* QInfoDB::create(QWidget* parent, QSqlDatabase* db)
{
    return new QInfoDB(parent, db);
}

void QInfoDB::exec(QWidget* parent, QSqlDatabase* db)
{
    QScopedPointer<QInfoDB> dialog(create(parent, db));
    dialog->QDialog::exec();
}

void QInfoDB::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        fitHeight(event->size().width());
}

void QInfoDB::fitHeight(int width)
{
    // A window does not grow by itself for a word-wrapped label: make room for every line
    // of a long file name at this width.
    layout()->activate();
    if (layout()->hasHeightForWidth())
        setMinimumHeight(layout()->totalHeightForWidth(width));
}

void QInfoDB::load(QSqlDatabase* db)
{
    if (!db)
        return;
    const QFileInfo file(db->databaseName());
    ui->lFileName->setText(file.absoluteFilePath());
    ui->lSize->setText(tr("%1 байт").arg(file.size()));

    // The counts are only informative: on an error they stay blank.
    QSqlQuery query(*db);
    if (!query.exec(QString::fromLatin1(CountSql)) || !query.next())
        return;
    ui->lSubscriber->setText(
        QString::number(query.value(QStringLiteral("subscriber_count")).toLongLong()));
    ui->lApartment->setText(
        QString::number(query.value(QStringLiteral("apartment_count")).toLongLong()));
    ui->lPhone->setText(QString::number(query.value(QStringLiteral("phone_count")).toLongLong()));
    ui->lCard->setText(QString::number(query.value(QStringLiteral("card_count")).toLongLong()));
}
