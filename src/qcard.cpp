#include "qcard.h"

#include "cardformat.h"
#include "keyfeed.h"
#include "mytreewidgetitem.h"
#include "qgetcard.h"
#include "sqlmessages.h"
#include "treerows.h"
#include "ui_qcard.h"

#include <QMessageBox>
#include <QRegularExpression>
#include <QScopedPointer>
#include <QSignalBlocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTreeWidget>

#include <algorithm>

namespace {

const char* const InsertCard =
    " INSERT INTO card   (id, type, number, subscriber_id, field1, field2, field3, "
    "field4, field5, field6, field7, field8, field9, field10)  VALUES   (:id, "
    ":type, :number, :subscriber_id, :field1, :field2, :field3, :field4, :field5, "
    ":field6, :field7, :field8, :field9, :field10) ";

const char* const UpdateCard =
    " UPDATE card SET    id = :id, type = :type, number = :number, "
    "subscriber_id = :subscriber_id,    field1 = :field1, field2 = :field2, "
    "field3 = :field3, field4 = :field4, field5 = :field5, field6 = :field6, "
    "field7 = :field7, field8 = :field8, field9 = :field9, "
    "field10 = :field10  WHERE id = :old_id AND subscriber_id = :old_subscriber_id ";

// The pattern a key must match to be saved. Unlike the parsing pattern, the TouchMemory one
// also captures the ten digits that are kept only in the text.
QString savePattern(int format)
{
    if (format == CardFormat::TouchMemory)
        return QStringLiteral("^([0-9a-fA-F]{10})([0-9a-fA-F]{6})$");
    return CardFormat::defaultPattern(format);
}

} // namespace

QCard::QCard(QSqlDatabase* db, int defaultFormat, QTreeWidget* tree, QTreeWidgetItem* ownerRow,
             QTreeWidgetItem* keyRow, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::QCard)
    , m_db(db)
    , m_tree(tree)
    , m_owner(ownerRow)
    , m_keyRow(keyRow)
{
    ui->setupUi(this);
    reserveHintHeight();
    // Open at the least height the layout allows.
    setMaximumHeight(1);
    {
        // The format is applied once the dialog knows which one to select.
        const QSignalBlocker blocker(ui->cbType);
        ui->cbType->addItems(CardFormat::names());
    }
    ui->vCard->setFocus();
    if (m_owner) {
        ui->vApartment->setText(m_owner->text(TreeRow::Apartment));
        ui->vPhone->setText(m_owner->text(TreeRow::Phone));
    }
    const QList<QLabel*> labels{ui->lField1, ui->lField2, ui->lField3, ui->lField4, ui->lField5,
                                ui->lField6, ui->lField7, ui->lField8, ui->lField9, ui->lField10};
    const QStringList titles = TreeRow::fieldTitles(m_tree);
    for (int n = 0; n < labels.size(); ++n)
        labels.at(n)->setText(titles.value(n));
    fillSubscribers();
    selectSubscriber(m_owner);

    const QString title = windowTitle();
    if (m_keyRow) {
        setWindowTitle(QStringLiteral("%1: %2").arg(title, m_keyRow->text(TreeRow::Key)));
        selectFormat(TreeRow::keyFormat(m_keyRow));
        ui->vCard->setText(m_keyRow->text(TreeRow::Key));
        setFields(TreeRow::fields(m_keyRow));
        m_card = TreeRow::keyCode(m_keyRow);
    } else {
        setWindowTitle(tr("%1: Новый").arg(title));
        selectFormat(defaultFormat);
    }
}

QCard::~QCard()
{
    delete ui;
}

QCard* QCard::create(QWidget* parent, QSqlDatabase* db, int defaultFormat, QTreeWidget* tree,
                     QTreeWidgetItem* ownerRow, QTreeWidgetItem* keyRow)
{
    return new QCard(db, defaultFormat, tree, ownerRow, keyRow, parent);
}

void QCard::exec(QWidget* parent, QSqlDatabase* db, int defaultFormat, QTreeWidget* tree,
                 QTreeWidgetItem* ownerRow, QTreeWidgetItem* keyRow)
{
    QScopedPointer<QCard> dialog(create(parent, db, defaultFormat, tree, ownerRow, keyRow));
    dialog->QDialog::exec();
}

void QCard::reserveHintHeight()
{
    // A word-wrapped label does not raise the dialog's minimum height, so the hint would be
    // cut off; reserve the lines of the longest hint at the label's narrowest width.
    QLabel* label = ui->lPlaceHolderText;
    const QRect area(0, 0, label->minimumWidth(), QWIDGETSIZE_MAX);
    int height = 0;
    for (int format = 0; format < CardFormat::Count; ++format)
        height =
            std::max(height, label->fontMetrics()
                                 .boundingRect(area, Qt::TextWordWrap, CardFormat::hint(format))
                                 .height());
    label->setMinimumHeight(height);
}

void QCard::fillSubscribers()
{
    QList<QTreeWidgetItem*> rows;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        rows << m_tree->topLevelItem(i);
    std::stable_sort(rows.begin(), rows.end(), [](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        return TreeRow::subscriberNumber(a) < TreeRow::subscriberNumber(b);
    });
    for (QTreeWidgetItem* row : qAsConst(rows))
        ui->cboxSubscriber->addItem(row->text(TreeRow::Subscriber), TreeRow::reference(row));
}

void QCard::selectSubscriber(const QTreeWidgetItem* row)
{
    for (int i = 0; i < ui->cboxSubscriber->count(); ++i) {
        if (TreeRow::referenced(ui->cboxSubscriber->itemData(i)) == row) {
            ui->cboxSubscriber->setCurrentIndex(i);
            return;
        }
    }
}

QTreeWidgetItem* QCard::selectedOwner() const
{
    return TreeRow::referenced(ui->cboxSubscriber->currentData());
}

void QCard::selectFormat(int format)
{
    format = CardFormat::orDefault(format);
    // The mask and hint follow the selection; selecting the current format changes nothing.
    if (ui->cbType->currentIndex() == format)
        on_cbType_currentIndexChanged(format);
    else
        ui->cbType->setCurrentIndex(format);
}

QStringList QCard::fields() const
{
    return {ui->vField1->text(), ui->vField2->text(), ui->vField3->text(), ui->vField4->text(),
            ui->vField5->text(), ui->vField6->text(), ui->vField7->text(), ui->vField8->text(),
            ui->vField9->text(), ui->vField10->text()};
}

void QCard::setFields(const QStringList& fields)
{
    const QList<QLineEdit*> edits{ui->vField1, ui->vField2, ui->vField3, ui->vField4, ui->vField5,
                                  ui->vField6, ui->vField7, ui->vField8, ui->vField9, ui->vField10};
    for (int n = 0; n < edits.size(); ++n)
        edits.at(n)->setText(fields.value(n));
}

void QCard::on_sendCard(uint card)
{
    ui->vCard->setText(cardToText(ui->cbType->currentIndex(), card));
}

void QCard::on_cbType_currentIndexChanged(int index)
{
    // A new mask may rewrite the text and with it the code; keep the key being shown.
    const uint card = m_card;
    ui->lPlaceHolderText->setText(CardFormat::hint(index));
    ui->vCard->setInputMask(CardFormat::inputMask(index));
    ui->vCard->setText(cardToText(index, card));
    ui->vCard->setFocus();
}

void QCard::on_vCard_textChanged(QString arg1)
{
    m_card = textToCard(ui->cbType->currentIndex(), arg1, QString());
}

void QCard::refuse(const QString& message)
{
    ui->vCard->setFocus();
    QMessageBox::critical(this, windowTitle(), message);
}

bool QCard::checkKey()
{
    const int format = ui->cbType->currentIndex();
    const QString pattern = savePattern(format);
    const QRegularExpressionMatch match = QRegularExpression(pattern).match(ui->vCard->text());
    if (pattern.isEmpty() || !match.hasMatch()) {
        refuse(tr("Некорректно указан код ключа."));
        return false;
    }
    if (format == CardFormat::EmMarin &&
        (match.captured(1).toUInt() > 255 || match.captured(2).toUInt() > 65535)) {
        refuse(tr("Некорректно указан код ключа.\n Диапазон: (000-255) - (00000-65535)."));
        return false;
    }
    if (m_card == 0) {
        refuse(tr("Код ключа не может быть нулевым (0)."));
        return false;
    }
    return true;
}

void QCard::on_pbOk_clicked()
{
    if (!checkKey())
        return;
    QTreeWidgetItem* owner = selectedOwner();
    if (!owner)
        return;

    QSqlQuery query(*m_db);
    bool prepared = false;
    if (m_keyRow) {
        prepared = query.prepare(QString::fromUtf8(UpdateCard));
        query.bindValue(QStringLiteral(":old_id"), qint64(TreeRow::keyCode(m_keyRow)));
        query.bindValue(QStringLiteral(":old_subscriber_id"), TreeRow::subscriberNumber(m_owner));
    } else {
        prepared = query.prepare(QString::fromUtf8(InsertCard));
    }
    query.bindValue(QStringLiteral(":id"), qint64(m_card));
    query.bindValue(QStringLiteral(":type"), ui->cbType->currentIndex());
    query.bindValue(QStringLiteral(":number"), ui->vCard->text());
    query.bindValue(QStringLiteral(":subscriber_id"), TreeRow::subscriberNumber(owner));
    const QStringList values = fields();
    for (int n = 0; n < values.size(); ++n)
        query.bindValue(QStringLiteral(":field%1").arg(n + 1), values.at(n));

    if (!prepared || !query.exec()) {
        const QSqlError error = query.lastError();
        QString detail;
        if (isConstraintViolation(
                error, {QStringLiteral("card.subscriber_id"), QStringLiteral("card.id")}))
            detail = tr("У абонента '%1' ключ с таким номером '%2' уже зарегистрирована")
                         .arg(TreeRow::subscriberNumber(owner))
                         .arg(ui->vCard->text());
        QMessageBox::critical(this, windowTitle(), sqlErrorMessage(detail, error));
        return;
    }
    updateTree(owner);
    accept();
}

void QCard::updateTree(QTreeWidgetItem* owner)
{
    const int format = ui->cbType->currentIndex();
    const QString number = ui->vCard->text();
    QTreeWidgetItem* row = m_keyRow;
    if (row) {
        TreeRow::setKey(row, m_card, format, number, owner->text(TreeRow::Apartment),
                        owner->text(TreeRow::Phone), fields());
        if (owner == row->parent())
            return;
        if (QTreeWidgetItem* previous = row->parent())
            previous->removeChild(row);
        owner->addChild(row);
    } else {
        row = TreeRow::newKey(owner, m_card, format, number, fields());
    }
    m_tree->setCurrentItem(row);
    m_tree->scrollToItem(row);
}

void QCard::on_pbCancel_clicked()
{
    reject();
}

void QCard::on_cbSubscriber_toggled(bool checked)
{
    ui->cboxSubscriber->setEnabled(checked);
    if (!checked)
        selectSubscriber(m_owner);
}

void QCard::on_toolButton_clicked()
{
    if (!KeyFeed::of(parentWidget())) {
        // Keys reach the capture only through the main window's event stream.
        QMessageBox::critical(this, windowTitle(), QGetCard::tr("Требуется подключение к панели."));
        return;
    }
    const QString text = QGetCard::getCard(this, parentWidget(), ui->cbType->currentIndex());
    if (!text.isEmpty())
        ui->vCard->setText(text);
}
