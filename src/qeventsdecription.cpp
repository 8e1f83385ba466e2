#include "qeventsdecription.h"

#include <QStringList>

QEventsDecription* eventsDecription = new QEventsDecription;

namespace {

constexpr quint8 ControlFromComputer = 0x26;
constexpr quint8 ControlFromPhone = 0x27;

bool isControl(quint8 code)
{
    return code == ControlFromComputer || code == ControlFromPhone;
}

} // namespace

QEventsDecription::QEventsDecription(QObject* parent)
    : QObject(parent)
{
    m_events.insert(0x00, tr("Проход по ключу"));
    m_events.insert(0x01, tr("Проход с клавиатуры"));
    m_events.insert(0x02, tr("Проход с телефона"));
    m_events.insert(0x03, tr("Добавление ключа и проход во время сбора"));
    m_events.insert(0x05, tr("Отказ в доступе по ключу"));
    m_events.insert(0x06, tr("Отказ в доступе с клавиатуры"));
    m_events.insert(0x07, tr("Отказ в доступе с телефона"));
    m_events.insert(0x08, tr("Отказ в доступе при добавлении ключа во время сбора по переполнению"));
    m_events.insert(0x0D, tr("Включение питания"));
    m_events.insert(0x13, tr("Разблокировка по пожарному датчику"));
    m_events.insert(0x14, tr("Сброс разблокировки по пожарному датчику"));
    m_events.insert(ControlFromComputer, tr("Управление с компьютера"));
    m_events.insert(ControlFromPhone, tr("Управление с телефона"));
    m_buttons.insert(0x00, tr("Проход по кнопке"));
}

QString QEventsDecription::text(const quint8* record)
{
    if (!record || !eventsDecription)
        return {};
    return eventsDecription->describe(record);
}

QString QEventsDecription::describe(const quint8* record) const
{
    const quint8 code = record[4];
    // Event 0 without a key is the exit button, not a key.
    if (code == 0 && record[0] == 0 && record[1] == 0 && record[2] == 0)
        return m_buttons.value(0);

    const auto found = m_events.constFind(code);
    if (found == m_events.constEnd()) {
        QString text = tr("Неизвестное событие: 0x%1").arg(code, 0, 16);
        return withSources(text, record[3]);
    }
    if (isControl(code)) {
        const quint8 control = record[0];
        const bool device = control & 0x80;
        const QString deviceText = device ? tr("доп. устройство") : tr("замок");
        const QString modes[3] = {device ? tr("выключено") : tr("ожидание"),
                                  device ? tr("импульс") : tr("открывание"),
                                  device ? tr("включено") : tr("разблокировка")};
        QStringList set;
        for (int bit = 0; bit < 3; ++bit)
            if (control & (1 << bit))
                set << modes[bit];
        return tr("%1; устройство: %2; установленный режим: %3")
            .arg(*found, deviceText, set.join(QLatin1Char(',')));
    }
    return withSources(*found, record[3]);
}

QString QEventsDecription::withSources(const QString& text, quint8 flags) const
{
    QStringList sources;
    if (flags & 0x02)
        sources << tr("доп. считыватель");
    if (flags & 0x04)
        sources << tr("эмуляции ключа");
    if (sources.isEmpty())
        return text;
    return QStringLiteral("%1 (%2)").arg(text, sources.join(QLatin1Char(',')));
}
