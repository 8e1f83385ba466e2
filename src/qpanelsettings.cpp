#include "qpanelsettings.h"

#include "actionjournal.h"
#include "answerfailure.h"
#include "protocol.h"
#include "qpacket.h"
#include "qserialportthread.h"
#include "settingsrecord.h"
#include "settingsrow.h"
#include "ui_qpanelsettings.h"

#include <QLoggingCategory>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QSqlDatabase>

// A settings row that cannot be read: shown in a box, and logged as a warning for diagnosis.
Q_LOGGING_CATEGORY(lcDatabase, "ostrovel.database", QtWarningMsg)

namespace {

const QString TalkTime = QStringLiteral("talk_time");

void setWidgetValue(QWidget* widget, const QVariant& value)
{
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        box->setChecked(value.toInt() >= 1);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->setCurrentIndex(value.toInt());
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("^\\d{0,6}[^-]$")), edit));
        edit->setText(value.toString());
    } else if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
        spin->setValue(value.toInt());
    }
}

QVariant bindWidgetValue(const QWidget* widget)
{
    if (auto* box = qobject_cast<const QCheckBox*>(widget))
        return int(box->isChecked());
    if (auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->currentIndex();
    if (auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text().isNull() ? QStringLiteral("") : edit->text();
    if (auto* spin = qobject_cast<const QSpinBox*>(widget))
        return spin->value();
    return 0;
}

} // namespace

QPanelSettings::QPanelSettings(QWidget* parent, QSqlDatabase* db, QSerialPortThread* worker)
    : PanelDialogOf(parent, worker)
    , ui(new Ui::QPanelSettings)
    , m_db(db)
{
    ui->setupUi(this);
    ui->tabWidget->setCurrentIndex(0);
    ui->pbSaveWrite->setEnabled(hasLink());
    if (worker)
        connect(worker, &QThread::finished, this, &QPanelSettings::onLinkClosed);
    load();
    // The dialog keeps to the height its rows need.
    setMaximumHeight(1);
}

QPanelSettings::~QPanelSettings()
{
    delete ui;
}

QWidget* QPanelSettings::widgetOf(const QString& column) const
{
    for (const char* prefix : {"cb_", "cbox_", "sb_", "le_"})
        if (auto* widget = findChild<QWidget*>(QLatin1String(prefix) + column))
            return widget;
    return nullptr;
}

void QPanelSettings::load()
{
    QVariantMap values;
    QString error;
    QSqlDatabase database = m_db ? *m_db : QSqlDatabase();
    switch (SettingsRow::read(database, &values, &error)) {
    case SettingsRow::Read::Failed:
        qCWarning(lcDatabase) << error;
        QMessageBox::critical(this, windowTitle(), error);
        return;
    case SettingsRow::Read::Missing:
        QMessageBox::critical(this, windowTitle(), SettingsRow::missingRowMessage());
        return;
    case SettingsRow::Read::Read:
        break;
    }
    for (const QString& column : SettingsRecord::columns()) {
        const QVariant value = values.value(column);
        if (column == TalkTime)
            ui->cbTalkTime->setChecked(value.toInt() >= 1);
        setWidgetValue(widgetOf(column), value);
    }
}

QVariantMap QPanelSettings::formValues() const
{
    QVariantMap values;
    for (const QString& column : SettingsRecord::columns())
        values[column] = bindWidgetValue(widgetOf(column));
    values[TalkTime] = ui->cbTalkTime->isChecked() ? ui->sb_talk_time->value() : 0;
    return values;
}

bool QPanelSettings::saveToDB()
{
    QString error;
    QSqlDatabase database = m_db ? *m_db : QSqlDatabase();
    if (SettingsRow::save(database, formValues(), &error))
        return true;
    QMessageBox::critical(this, windowTitle(), error);
    return false;
}

void QPanelSettings::on_pbSave_clicked()
{
    if (saveToDB())
        accept();
}

void QPanelSettings::on_pbSaveWrite_clicked()
{
    if (!ui->pbSaveWrite->isEnabled() || !saveToDB())
        return;
    const QByteArray record = SettingsRecord::encode(formValues());
    QPacket* packet =
        QPacket::request(Protocol::WriteSettings, 0, record.left(SettingsRecord::Size));
    connect(packet, &QPacket::handleEvent, this, &QPanelSettings::onHandleEvent,
            Qt::QueuedConnection);
    ActionJournal::watch(packet, tr("Запись настроек в панель"));
    m_waiting = true;
    ui->pbSave->setEnabled(false);
    ui->pbSaveWrite->setEnabled(false);
    emit sendPacket(packet);
}

void QPanelSettings::onHandleEvent(QSerialPortError error, QString errorString, QByteArray data)
{
    // An answer after Cancel, or after the link went down, is nobody's any more.
    if (!m_waiting)
        return;
    m_waiting = false;
    ui->pbSave->setEnabled(true);
    ui->pbSaveWrite->setEnabled(hasLink());
    const QString failure = answerFailure(error, errorString, data);
    if (failure.isEmpty() && !closeRequested()) {
        accept();
        return;
    }
    if (!failure.isEmpty())
        QMessageBox::critical(this, windowTitle(), failure);
    leaveIfAsked();
}

void QPanelSettings::onLinkClosed()
{
    // A request the stopped worker dropped will never be answered.
    if (m_waiting)
        onHandleEvent(QSerialPortError::ClosedByUser, linkErrorText(QSerialPortError::ClosedByUser),
                      {});
    ui->pbSaveWrite->setEnabled(false);
}

void QPanelSettings::on_cbox_type_lock_currentIndexChanged(int index)
{
    ui->cb_unblock_lock_imp->setEnabled(index == 0);
}

void QPanelSettings::on_pbCancel_clicked()
{
    if (m_waiting) {
        m_waiting = false;
        emit cancel();
    }
    leave();
}
