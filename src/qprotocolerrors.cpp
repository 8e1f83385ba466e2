#include "qprotocolerrors.h"

QProtocolErrors* protocolErrors = new QProtocolErrors;

QProtocolErrors::QProtocolErrors(QObject* parent)
    : QObject(parent)
{
    m_texts.insert(0x00, tr("Команда обработана успешно"));
    m_texts.insert(0x01, tr("Ошибка контрольной суммы CRC8 команды"));
    m_texts.insert(0x02, tr("Ошибка контрольной суммы CRC8 данных"));
    m_texts.insert(0x07, tr("Переполнение базы ключей"));
    m_texts.insert(0x08, tr("Данные вне диапазона"));
    m_texts.insert(0x09, tr("Неизвестная команда управления направлением"));
    m_texts.insert(0xFF, tr("Неизвестная команда"));
}

QString QProtocolErrors::text(const quint8& code)
{
    if (!protocolErrors)
        return {};
    const auto found = protocolErrors->m_texts.constFind(code);
    if (found != protocolErrors->m_texts.constEnd())
        return *found;
    return tr("Неизвестная ошибка: 0x%1").arg(code, 0, 16);
}
