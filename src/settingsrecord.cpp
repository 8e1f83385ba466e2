#include "settingsrecord.h"

#include "crc8.h"
#include "digitcodes.h"

#include <QCoreApplication>
#include <QMap>

namespace SettingsRecord {

namespace {

constexpr int CodeWidth = 6;

qint64 numberOf(const QVariant& value)
{
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    return ok ? number : 0;
}

quint8* bytes(QByteArray& record, int offset)
{
    return reinterpret_cast<quint8*>(record.data()) + offset;
}

const quint8* bytes(const QByteArray& record, int offset)
{
    return reinterpret_cast<const quint8*>(record.constData()) + offset;
}

} // namespace

const QVector<Field>& fields()
{
    static const QVector<Field> layout = {
        {"talk_time", Field::Number, 0, 0, 2},
        {"mode_set", Field::Bits, 2, 0, 2},
        {"dtmf_after_set", Field::Bits, 2, 2, 1},
        {"hide_numbers", Field::Bits, 2, 3, 1},
        {"mode_answer", Field::Bits, 2, 4, 2},
        {"mode_doorphone", Field::Bits, 2, 6, 1},
        {"mode_reader_contact", Field::Bits, 2, 7, 1},
        {"proto_dev", Field::Bits, 3, 0, 1},
        {"unblock_fire", Field::Bits, 3, 1, 1},
        {"type_fire_contact", Field::Bits, 3, 2, 1},
        {"reset_fire", Field::Bits, 3, 3, 1},
        {"mode_dev", Field::Bits, 3, 4, 1},
        {"type_control_dev", Field::Bits, 3, 5, 1},
        {"type_lock", Field::Bits, 3, 6, 1},
        {"unblock_lock_imp", Field::Bits, 3, 7, 1},
        {"timeout_dtmf", Field::Bits, 4, 2, 5},
        {"show_retry_input_dev", Field::Bits, 4, 7, 1},
        {"timer_deactivate", Field::Bits, 5, 0, 4},
        {"timeout_tap", Field::Bits, 5, 4, 4},
        {"open_time_lock", Field::Number, 6, 0, 1},
        {"code_open_lock", Field::Code, 7, 0, CodeWidth},
        {"code_unblock_lock", Field::Code, 13, 0, CodeWidth},
        {"time_action_dev", Field::Number, 19, 0, 1},
        {"code_temp_action_dev", Field::Code, 20, 0, CodeWidth},
        {"code_on_off_dev", Field::Code, 26, 0, CodeWidth},
        {"pass_prog", Field::Number, 32, 0, 3},
        {"mode_key_union", Field::Bits, 35, 0, 1},
    };
    return layout;
}

QStringList columns()
{
    QStringList names;
    for (const Field& field : fields())
        names << QLatin1String(field.column);
    return names;
}

QString title(const QString& column)
{
    // The labels of the panel settings dialog, without their trailing blanks.
    static const QMap<QString, const char*> titles = {
        {QStringLiteral("talk_time"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Ограничить время разговора, сек.")},
        {QStringLiteral("mode_set"), QT_TRANSLATE_NOOP("QPanelSettings", "Режим набора")},
        {QStringLiteral("dtmf_after_set"),
         QT_TRANSLATE_NOOP("QPanelSettings", "DTMF после набора")},
        {QStringLiteral("hide_numbers"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Скрывать набираемые цифры в квартирном режиме")},
        {QStringLiteral("mode_answer"), QT_TRANSLATE_NOOP("QPanelSettings", "Режим ответа")},
        {QStringLiteral("mode_doorphone"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Режим работы домофона")},
        {QStringLiteral("mode_reader_contact"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Режим работы контактов считывателя")},
        {QStringLiteral("proto_dev"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Тип протокола дополнительного считывателя")},
        {QStringLiteral("unblock_fire"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Разблокировка по пожарному датчику")},
        {QStringLiteral("type_fire_contact"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Тип пожарного датчика")},
        {QStringLiteral("reset_fire"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Снятие пожарной тревоги")},
        {QStringLiteral("mode_dev"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Режим работы дополнительного устройства")},
        {QStringLiteral("type_control_dev"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Тип управления дополнительным устройством")},
        {QStringLiteral("type_lock"), QT_TRANSLATE_NOOP("QPanelSettings", "Тип замка")},
        {QStringLiteral("unblock_lock_imp"),
         QT_TRANSLATE_NOOP("QPanelSettings",
                           "Импульсная разблокировка электромеханического замка")},
        {QStringLiteral("timeout_dtmf"), QT_TRANSLATE_NOOP("QPanelSettings", "Таймаут DTMF, сек.")},
        {QStringLiteral("show_retry_input_dev"),
         QT_TRANSLATE_NOOP("QPanelSettings",
                           "Не показывать попытки входа на дополнительном считывателе")},
        {QStringLiteral("timer_deactivate"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Таймер детектирования сигнала вызова, сек.")},
        {QStringLiteral("timeout_tap"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Таймаут набора клавиатуры, сек.")},
        {QStringLiteral("open_time_lock"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Время открывания замка, сек.")},
        {QStringLiteral("code_open_lock"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Код открывания замка")},
        {QStringLiteral("code_unblock_lock"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Код разблокировки замка")},
        {QStringLiteral("time_action_dev"),
         QT_TRANSLATE_NOOP("QPanelSettings",
                           "Время срабатывания дополнительного устройства, сек.")},
        {QStringLiteral("code_temp_action_dev"),
         QT_TRANSLATE_NOOP("QPanelSettings",
                           "Код временного срабатывания дополнительного устройства")},
        {QStringLiteral("code_on_off_dev"),
         QT_TRANSLATE_NOOP("QPanelSettings",
                           "Код включения/выключения дополнительного устройства")},
        {QStringLiteral("pass_prog"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Пароль режима программирования")},
        {QStringLiteral("mode_key_union"),
         QT_TRANSLATE_NOOP("QPanelSettings", "Режим сбора ключей")},
    };
    const char* text = titles.value(column);
    return text ? QCoreApplication::translate("QPanelSettings", text) : column;
}

QByteArray encode(const QVariantMap& values)
{
    QByteArray record(SealedSize, '\0');
    for (const Field& field : fields()) {
        const QVariant value = values.value(QLatin1String(field.column));
        switch (field.kind) {
        case Field::Bits: {
            const int mask = (1 << field.width) - 1;
            record[field.offset] =
                char(quint8(record.at(field.offset)) | ((numberOf(value) & mask) << field.shift));
            break;
        }
        case Field::Number: {
            const qint64 number = numberOf(value);
            for (int i = 0; i < field.width; ++i)
                record[field.offset + i] = char((number >> (8 * i)) & 0xFF);
            break;
        }
        case Field::Code:
            digitsToBytes(value.toString(), bytes(record, field.offset), field.width);
            break;
        }
    }
    record[Size] = char(crc8(bytes(record, 0), Size));
    return record;
}

QVariantMap decode(const QByteArray& record)
{
    QVariantMap values;
    if (record.size() < Size)
        return values;
    for (const Field& field : fields()) {
        const QString column = QLatin1String(field.column);
        switch (field.kind) {
        case Field::Bits:
            values[column] =
                (quint8(record.at(field.offset)) >> field.shift) & ((1 << field.width) - 1);
            break;
        case Field::Number: {
            int number = 0;
            for (int i = 0; i < field.width; ++i)
                number |= quint8(record.at(field.offset + i)) << (8 * i);
            values[column] = number;
            break;
        }
        case Field::Code:
            values[column] = bytesToDigits(bytes(record, field.offset), field.width);
            break;
        }
    }
    return values;
}

} // namespace SettingsRecord
