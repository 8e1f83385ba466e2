#include "exportchain.h"

#include "protocol.h"
#include "settingsrecord.h"

#include <algorithm>
#include <utility>

namespace {

// A write the panel answered with a result code of its own. The two checksum codes say the
// request arrived damaged, which is the line's doing like a lost answer: sending it again can
// succeed. Any other code refuses the content, which sending again would not change.
bool refusedByPanel(QSerialPortError error, const QByteArray& answer)
{
    if (error != QSerialPortError::NoError || answer.size() < Protocol::HeaderSize)
        return false;
    const quint8 result = quint8(answer.at(Protocol::OffsetResult));
    return result != 0x00 && result != 0x01 && result != 0x02;
}

const PanelTables::Table& tableOf(int stage)
{
    return stage == ExportChain::Apartments ? PanelTables::Apartments
           : stage == ExportChain::Phones   ? PanelTables::Phones
                                            : PanelTables::Keys;
}

} // namespace

ExportChain::ExportChain(QObject* parent)
    : PanelChain(parent)
{
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &ExportChain::onTimer);
}

QString ExportChain::titleOf(int stage)
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

int ExportChain::blocks(int stage) const
{
    switch (stage) {
    case Apartments:
        return int(m_apartmentBlocks.size());
    case Phones:
        return int(m_phoneBlocks.size());
    case Cards:
        return PanelTables::keyWriteCount(m_content.keys);
    default:
        return 1;
    }
}

QString ExportChain::stoppedText() const
{
    switch (m_panel) {
    case Panel::MaybeCleared:
        return tr("Память панели могла быть очищена.\r\nЭкспорт прерван на этапе «%1».")
            .arg(stageTitle(m_failedStage));
    case Panel::Incomplete:
        return tr("Панель заполнена не полностью.\r\nЭкспорт прерван на этапе «%1», блок %2 из "
                  "%3.")
            .arg(stageTitle(m_failedStage))
            .arg(m_failedBlock + 1)
            .arg(blocks(m_failedStage));
    default:
        return QString();
    }
}

QString ExportChain::incompleteMessage() const
{
    const QString stopped = stoppedText();
    return stopped.isEmpty() ? stopped
                             : stopped + tr("\r\nДанные нужно экспортировать в панель заново.");
}

void ExportChain::start(const ExportContent& content)
{
    prepare(content);
    for (int stage = Settings; stage < StageCount; ++stage)
        emit progress(stage, 0, m_maximum[size_t(stage)]);
    m_panel = Panel::Unchanged;
    m_failedStage = -1;
    m_resumable = m_refused = m_mismatch = m_checking = false;
    begin();
    sendReset(Reset);
}

bool ExportChain::restoreBreak(const ExportContent& content, int stage, int block)
{
    if (isRunning())
        return false;
    prepare(content);
    if (stage < Settings || stage >= StageCount || block < 0 || block >= blocks(stage))
        return false;
    m_panel = Panel::Incomplete;
    m_failedStage = stage;
    m_failedBlock = block;
    m_refused = m_mismatch = m_checking = false;
    m_resumable = true;
    return true;
}

void ExportChain::prepare(const ExportContent& content)
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
    // The key blocks as stoppedText() counts them: a last block of exactly 60 bytes is no
    // more than the others.
    m_maximum[Cards] = std::max(1, blocks(Cards));
}

bool ExportChain::resume()
{
    if (!m_resumable || isRunning())
        return false;
    m_resumable = false;
    // The stages before the one that failed are done; its bar stands at the blocks confirmed.
    for (int stage = Settings; stage < StageCount; ++stage) {
        m_value[size_t(stage)] = stage < m_failedStage    ? m_maximum[size_t(stage)]
                                 : stage == m_failedStage ? m_failedBlock
                                                          : 0;
        emit progress(stage, m_value[size_t(stage)], m_maximum[size_t(stage)]);
    }
    begin();
    if (m_failedStage <= Settings) {
        // A failure under this stage's title now stays resumable: the panel was cleared.
        sendReset(Settings);
        return true;
    }
    sendCheck();
    return true;
}

void ExportChain::sendReset(Stage stage)
{
    m_writing = 0;
    send(stage, Protocol::ClearMemory, {}, &ExportChain::onHandleReset);
    m_timer.start();
}

bool ExportChain::confirmed(QSerialPortError error, const QString& errorString,
                            const QByteArray& data)
{
    m_refused = refusedByPanel(error, data);
    return answered(error, errorString, data);
}

void ExportChain::ending(bool ok, int stage)
{
    m_timer.stop();
    m_resumable = false;
    if (ok) {
        m_panel = Panel::Written;
        m_failedStage = -1;
        return;
    }
    // A check that fails leaves the resume where it was.
    if (!std::exchange(m_checking, false)) {
        m_failedStage = stage;
        m_failedBlock = m_writing;
    }
    if (m_failedStage == Reset) {
        // Whether an unanswered clearing took place cannot be known; a refused one did not.
        m_panel = m_refused ? Panel::Unchanged : Panel::MaybeCleared;
        return;
    }
    m_panel = Panel::Incomplete;
    m_resumable = !m_refused && !m_mismatch;
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
    if (!confirmed(error, errorString, data))
        return;
    advance(Settings);
    m_writing = 0;
    send(Settings, Protocol::WriteSettings, writeData(Settings, 0), &ExportChain::onHandleSettings);
}

void ExportChain::onHandleSettings(QSerialPortError error, QString errorString, QByteArray data)
{
    if (!confirmed(error, errorString, data))
        return;
    advance(Settings, SettingsSteps);
    m_block = 0;
    nextBlock(Apartments);
}

void ExportChain::onHandleApartments(QSerialPortError error, QString errorString, QByteArray data)
{
    if (confirmed(error, errorString, data))
        nextBlock(Apartments);
}

void ExportChain::onHandlePhones(QSerialPortError error, QString errorString, QByteArray data)
{
    if (confirmed(error, errorString, data))
        nextBlock(Phones);
}

void ExportChain::onHandleCards(QSerialPortError error, QString errorString, QByteArray data)
{
    if (confirmed(error, errorString, data))
        nextBlock(Cards);
}

QByteArray ExportChain::writeData(int stage, int block) const
{
    switch (stage) {
    case Apartments:
    case Phones: {
        const QList<int>& numbers = stage == Apartments ? m_apartmentBlocks : m_phoneBlocks;
        const PanelTables::Blocks& blocks =
            stage == Apartments ? m_content.apartments : m_content.phones;
        const int number = numbers.at(block);
        return PanelTables::blockWriteData(tableOf(stage), number, blocks.value(number));
    }
    case Cards:
        return PanelTables::keyWriteData(block, m_content.keys);
    default:
        return m_content.settings.left(SettingsRecord::Size);
    }
}

void ExportChain::nextBlock(Stage stage)
{
    advance(stage);
    if (m_block >= blocks(stage)) {
        m_block = 0;
        if (stage == Cards)
            finish(true);
        else
            nextBlock(Stage(stage + 1));
        return;
    }
    m_writing = m_block++;
    const QByteArray data = writeData(stage, m_writing);
    if (stage == Apartments)
        send(stage, Protocol::WriteApartments, data, &ExportChain::onHandleApartments);
    else if (stage == Phones)
        send(stage, Protocol::WritePhones, data, &ExportChain::onHandlePhones);
    else
        send(stage, Protocol::WriteKeys, data, &ExportChain::onHandleCards);
}

void ExportChain::sendCheck()
{
    // The write just before the one that failed, over stages without blocks.
    m_checkStage = m_failedStage;
    m_checkBlock = m_failedBlock - 1;
    while (m_checkBlock < 0 && m_checkStage > Settings) {
        --m_checkStage;
        m_checkBlock = blocks(m_checkStage) - 1;
    }
    m_checking = true;
    m_mismatch = false;
    m_refused = false;
    const Stage stage = Stage(m_failedStage);
    if (m_checkStage == Settings) {
        send(stage, Protocol::ReadSettings, {}, &ExportChain::onHandleCheck);
        return;
    }
    // Table blocks are read back as the import reads them: request n from record perBlock * n.
    const int n = m_checkStage == Apartments ? m_apartmentBlocks.at(m_checkBlock)
                  : m_checkStage == Phones   ? m_phoneBlocks.at(m_checkBlock)
                                             : m_checkBlock;
    const quint8 command = m_checkStage == Apartments ? Protocol::ReadApartments
                           : m_checkStage == Phones   ? Protocol::ReadPhones
                                                      : Protocol::ReadKeys;
    send(stage, command, PanelTables::readRequestData(tableOf(m_checkStage), n),
         &ExportChain::onHandleCheck);
}

void ExportChain::onHandleCheck(QSerialPortError error, QString errorString, QByteArray data)
{
    if (!confirmed(error, errorString, data))
        return;
    const QByteArray read = Protocol::answerData(data);
    const QByteArray written = writeData(m_checkStage, m_checkBlock);
    const bool same = m_checkStage == Settings
                          ? read.size() >= SettingsRecord::Size &&
                                SettingsRecord::decode(read) == SettingsRecord::decode(written)
                          : PanelTables::sameRecords(tableOf(m_checkStage), written.mid(2), read);
    if (!same) {
        m_mismatch = true;
        finish(false, m_failedStage,
               tr("Панель не вернула записанные ранее данные: возможно, подключена другая "
                  "панель или её память изменилась.\r\nПродолжить экспорт нельзя."));
        return;
    }
    m_checking = false;
    m_block = m_failedBlock;
    nextBlock(Stage(m_failedStage));
}
