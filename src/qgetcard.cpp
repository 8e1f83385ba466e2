#include "qgetcard.h"

#include "cardformat.h"
#include "keyfeed.h"
#include "ui_qgetcard.h"

#include <QMessageBox>
#include <QScopedPointer>

namespace {
constexpr int BlinkIntervalMs = 300;
}

QGetCard::QGetCard(QObject* window, int format, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::QGetCard)
    , m_keys(KeyFeed::of(window))
    , m_format(format)
{
    ui->setupUi(this);
    // Open at the least height the layout allows.
    setMaximumHeight(1);
    connect(&m_timer, &QTimer::timeout, this, &QGetCard::on_timeout);
    ui->rbPanel->setChecked(true);
    // Reading from an administrative reader is not offered: no reader list exists.
    ui->rbReader->hide();
    ui->rbPanel->hide();
    ui->cboxListReader->hide();
    ui->tbRefresh->hide();
}

QGetCard::~QGetCard()
{
    stopListening();
    delete ui;
}

QGetCard* QGetCard::create(QWidget* parent, QObject* window, int format)
{
    return new QGetCard(window, format, parent);
}

QString QGetCard::getCard(QWidget* parent, QObject* window, int format)
{
    QScopedPointer<QGetCard> dialog(create(parent, window, format));
    if (dialog->QDialog::exec() != QDialog::Accepted)
        return QString();
    return dialog->cardText();
}

QString QGetCard::cardText() const
{
    return ui->lineEdit->text();
}

void QGetCard::done(int result)
{
    if (ui->pbStart->isChecked())
        ui->pbStart->setChecked(false);
    stopListening();
    QDialog::done(result);
}

bool QGetCard::linkIsUp() const
{
    return m_keys && m_keys->linkIsUp();
}

void QGetCard::stopListening()
{
    if (m_listening)
        disconnect(m_listening);
    m_listening = QMetaObject::Connection();
}

void QGetCard::on_sendCard(uint card)
{
    if (card == 0)
        return;
    m_timer.stop();
    stopListening();
    ui->pbStart->setChecked(false);
    ui->lineEdit->setText(cardToText(m_format, card).toUpper());
    ui->pbAccept->setEnabled(true);
}

void QGetCard::on_timeout()
{
    if (ui->lineEdit->text().isEmpty())
        ui->lineEdit->setText(tr("Поднесите ключ к считывателю ..."));
    else
        ui->lineEdit->clear();
}

void QGetCard::on_rbPanel_toggled(bool checked)
{
    ui->lineEdit->clear();
    ui->pbAccept->setEnabled(false);
    if (checked)
        ui->pbStart->setEnabled(true);
}

void QGetCard::on_rbReader_toggled(bool checked)
{
    ui->lineEdit->clear();
    ui->pbAccept->setEnabled(false);
    if (checked)
        ui->pbStart->setEnabled(ui->cboxListReader->currentIndex() >= 0);
    ui->cboxListReader->setEnabled(checked);
    ui->tbRefresh->setEnabled(checked);
}

void QGetCard::on_cboxListReader_currentIndexChanged(int index)
{
    if (ui->rbReader->isChecked())
        ui->pbStart->setEnabled(index >= 0);
}

void QGetCard::on_pbStart_toggled(bool checked)
{
    if (checked) {
        if (!ui->rbPanel->isChecked()) {
            // No reader can be read from, so there is nothing to wait for.
            ui->pbStart->setChecked(false);
            return;
        }
        if (!linkIsUp()) {
            ui->pbStart->setChecked(false);
            QMessageBox::critical(this, windowTitle(), tr("Требуется подключение к панели."));
            return;
        }
        ui->lineEdit->clear();
        ui->pbAccept->setEnabled(false);
        m_timer.start(BlinkIntervalMs);
        stopListening();
        m_listening = connect(m_keys.data(), &KeyFeed::card, this, &QGetCard::on_sendCard);
        ui->pbStart->setText(tr("Стоп"));
        return;
    }
    emit cancel();
    m_timer.stop();
    ui->lineEdit->clear();
    ui->pbAccept->setEnabled(false);
    ui->pbStart->setText(tr("Старт"));
    if (ui->rbPanel->isChecked())
        stopListening();
}

void QGetCard::on_tbRefresh_clicked() {}
