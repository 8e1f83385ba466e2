#include "importchain.h"

#include "protocol.h"
#include "settingsrecord.h"

ImportChain::ImportChain(QObject* parent)
    : PanelChain(parent)
{}

int ImportChain::requests(Stage stage)
{
    switch (stage) {
    case Settings:
        return SettingsSteps;
    case Apartments:
        return PanelTables::readCount(PanelTables::Apartments);
    case Phones:
        return PanelTables::readCount(PanelTables::Phones);
    case Cards:
        return PanelTables::readCount(PanelTables::Keys);
    case StageCount:
        break;
    }
    return 0;
}

QString ImportChain::stageTitle(int stage) const
{
    switch (stage) {
    case Apartments:
        return tr("Процесс импорта квартир");
    case Phones:
        return tr("Процесс импорта телефонов");
    case Cards:
        return tr("Процесс импорта ключей");
    default:
        return tr("Импорт настроек");
    }
}

void ImportChain::start(Mode mode)
{
    m_mode = mode;
    m_image = PanelTables::PanelImage();
    for (int stage = Settings; stage < StageCount; ++stage)
        emit progress(stage, 0, requests(Stage(stage)));
    begin();
    send(Settings, Protocol::ReadSettings, {}, &ImportChain::onHandleSettings);
    emit progress(Settings, 1, SettingsSteps);
}

void ImportChain::onHandleSettings(QSerialPortError error, QString errorString, QByteArray data)
{
    if (!answered(error, errorString, data))
        return;
    const QByteArray record = Protocol::answerData(data);
    if (record.size() < SettingsRecord::Size) {
        // A short record would fill the database with settings the panel never had.
        finish(false, Settings,
               tr("Панель вернула запись настроек длиной %1 байт вместо %2.")
                   .arg(record.size())
                   .arg(SettingsRecord::Size));
        return;
    }
    m_image.settings = record.left(SettingsRecord::Size);
    emit progress(Settings, SettingsSteps, SettingsSteps);
    if (m_mode == SettingsOnly) {
        finish(true);
        return;
    }
    m_n = 0;
    nextApartments();
}

void ImportChain::onHandleApartments(QSerialPortError error, QString errorString, QByteArray data)
{
    if (!answered(error, errorString, data))
        return;
    PanelTables::addApartments(m_image.subscribers, m_n - 1, Protocol::answerData(data));
    emit progress(Apartments, m_n, requests(Apartments));
    nextApartments();
}

void ImportChain::nextApartments()
{
    if (m_n < requests(Apartments)) {
        send(Apartments, Protocol::ReadApartments,
             PanelTables::readRequestData(PanelTables::Apartments, m_n++),
             &ImportChain::onHandleApartments);
        return;
    }
    m_n = 0;
    nextPhones();
}

void ImportChain::onHandlePhones(QSerialPortError error, QString errorString, QByteArray data)
{
    if (!answered(error, errorString, data))
        return;
    PanelTables::addPhones(m_image.subscribers, m_n - 1, Protocol::answerData(data));
    emit progress(Phones, m_n, requests(Phones));
    nextPhones();
}

void ImportChain::nextPhones()
{
    if (m_n < requests(Phones)) {
        send(Phones, Protocol::ReadPhones, PanelTables::readRequestData(PanelTables::Phones, m_n++),
             &ImportChain::onHandlePhones);
        return;
    }
    m_n = 0;
    nextCards();
}

void ImportChain::onHandleCards(QSerialPortError error, QString errorString, QByteArray data)
{
    if (!answered(error, errorString, data))
        return;
    PanelTables::addKeys(m_image.subscribers, m_n - 1, Protocol::answerData(data));
    emit progress(Cards, m_n, requests(Cards));
    nextCards();
}

void ImportChain::nextCards()
{
    if (m_n < requests(Cards)) {
        send(Cards, Protocol::ReadKeys, PanelTables::readRequestData(PanelTables::Keys, m_n++),
             &ImportChain::onHandleCards);
        return;
    }
    finish(true);
}
