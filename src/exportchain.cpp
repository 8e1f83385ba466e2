#include "exportchain.h"

#include "protocol.h"
#include "settingsrecord.h"

#include <algorithm>

ExportChain::ExportChain(QObject* parent)
    : PanelChain(parent)
{
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &ExportChain::onTimer);
}

QString ExportChain::stageTitle(int stage) const
{
    switch (stage) {
    case Reset:
        return tr("Очистка памяти панели");
    case Settings:
        return tr("Процесс очистки и экспорта настроек");
    case Apartments:
        return tr("Процесс экспорта квартир");
    case Phones:
        return tr("Процесс экспорта телефонов");
    default:
        return tr("Процесс экспорта ключей");
    }
}

void ExportChain::start(const ExportContent& content)
{
    m_content = content;
    m_apartmentBlocks = content.apartments.keys();
    m_phoneBlocks = content.phones.keys();
    m_block = 0;
    m_value.fill(0);
    m_maximum[Reset] = SettingsSteps;
    m_maximum[Settings] = SettingsSteps;
    m_maximum[Apartments] = std::max(1, int(m_apartmentBlocks.size()));
    m_maximum[Phones] = std::max(1, int(m_phoneBlocks.size()));
    m_maximum[Cards] =
        content.keys.isEmpty() ? 1 : content.keys.size() / PanelTables::BlockBytes + 1;
    for (int stage = Settings; stage < StageCount; ++stage)
        emit progress(stage, 0, m_maximum[size_t(stage)]);
    begin();
    send(Reset, Protocol::ClearMemory, {}, &ExportChain::onHandleReset);
    m_timer.start();
}

void ExportChain::advance(Stage stage, int steps)
{
    // The clearing ticks on the settings bar.
    const Stage bar = stage == Reset ? Settings : stage;
    int& value = m_value[size_t(bar)];
    value = std::min(value + steps, m_maximum[size_t(bar)]);
    emit progress(bar, value, m_maximum[size_t(bar)]);
}

void ExportChain::onTimer()
{
    advance(Reset);
}

void ExportChain::onHandleReset(QSerialPortError error, QString errorString, QByteArray data)
{
    m_timer.stop();
    if (!answered(error, errorString, data))
        return;
    advance(Settings);
    send(Settings, Protocol::WriteSettings, m_content.settings.left(SettingsRecord::Size),
         &ExportChain::onHandleSettings);
}

void ExportChain::onHandleSettings(QSerialPortError error, QString errorString, QByteArray data)
{
    if (!answered(error, errorString, data))
        return;
    advance(Settings, SettingsSteps);
    m_block = 0;
    nextApartments();
}

void ExportChain::onHandleApartments(QSerialPortError error, QString errorString, QByteArray data)
{
    if (answered(error, errorString, data))
        nextApartments();
}

void ExportChain::nextApartments()
{
    advance(Apartments);
    if (m_block < m_apartmentBlocks.size()) {
        const int number = m_apartmentBlocks.at(m_block++);
        send(Apartments, Protocol::WriteApartments,
             PanelTables::blockWriteData(PanelTables::Apartments, number,
                                         m_content.apartments.value(number)),
             &ExportChain::onHandleApartments);
        return;
    }
    m_block = 0;
    nextPhones();
}

void ExportChain::onHandlePhones(QSerialPortError error, QString errorString, QByteArray data)
{
    if (answered(error, errorString, data))
        nextPhones();
}

void ExportChain::nextPhones()
{
    advance(Phones);
    if (m_block < m_phoneBlocks.size()) {
        const int number = m_phoneBlocks.at(m_block++);
        send(Phones, Protocol::WritePhones,
             PanelTables::blockWriteData(PanelTables::Phones, number,
                                         m_content.phones.value(number)),
             &ExportChain::onHandlePhones);
        return;
    }
    m_block = 0;
    nextCards();
}

void ExportChain::onHandleCards(QSerialPortError error, QString errorString, QByteArray data)
{
    if (answered(error, errorString, data))
        nextCards();
}

void ExportChain::nextCards()
{
    advance(Cards);
    if (m_block < PanelTables::keyWriteCount(m_content.keys)) {
        send(Cards, Protocol::WriteKeys, PanelTables::keyWriteData(m_block++, m_content.keys),
             &ExportChain::onHandleCards);
        return;
    }
    finish(true);
}
