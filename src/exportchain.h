#pragma once

#include "exportcontent.h"
#include "panelchain.h"

#include <QTimer>

#include <array>

// Replaces the whole content of the panel: clears its memory, writes the settings record, then
// the apartment, phone and key blocks, one request after the other. An export that the link
// broke off after the clearing can be resumed at the write that failed.
class ExportChain : public PanelChain
{
    Q_OBJECT
public:
    enum Stage { Reset, Settings, Apartments, Phones, Cards, StageCount };
    // What the panel holds once the chain has ended.
    enum class Panel {
        Unchanged,    // nothing was sent, or the panel refused the clearing
        Written,      // the whole export
        MaybeCleared, // the clearing went unanswered: the panel may have lost everything
        Incomplete,   // cleared and written only in part
    };
    // The settings bar ticks while the panel clears its memory, which takes up to 8 s.
    static constexpr int SettingsSteps = 20;
    static constexpr int TickMs = 500;

    explicit ExportChain(QObject* parent = nullptr);

    void start(const ExportContent& content);
    // Goes on from the write that failed. Beyond the settings stage the panel first has to
    // return the write confirmed before it unchanged; the settings stage starts again with the
    // clearing, since nothing of the export is on the panel yet. False when the last export
    // cannot be resumed.
    bool resume();
    // Makes an export that broke off in an earlier run, at stage's write block, resumable, to
    // go on sending content (which must be what that export sent); false when they do not fit.
    bool restoreBreak(const ExportContent& content, int stage, int block);
    bool canResume() const { return m_resumable; }
    // The user gave up going on; the panel stays as incomplete as it is.
    void abandonResume() { m_resumable = false; }
    Panel panel() const { return m_panel; }
    // The write that failed: its stage and its block in the stage, from 0 in the order written.
    int failedStage() const { return m_failedStage; }
    int failedBlock() const { return m_failedBlock; }
    // The writes a stage takes; the settings stage counts as one block.
    int blocks(int stage) const;
    // For people: where the export stopped and what that left in the panel, with blocks
    // counted from 1 as the stage's bar counts them; empty while the panel is whole.
    QString stoppedText() const;
    // The same, and that the export has to be made again.
    QString incompleteMessage() const;
    QString stageTitle(int stage) const override { return titleOf(stage); }
    static QString titleOf(int stage);
    QString actionText() const override { return tr("Экспорт данных в панель"); }

public slots:
    void onHandleReset(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleSettings(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleApartments(QSerialPortError error, QString errorString, QByteArray data);
    void onHandlePhones(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleCards(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleCheck(QSerialPortError error, QString errorString, QByteArray data);
    void onTimer();

protected:
    void ending(bool ok, int stage) override;

private:
    void prepare(const ExportContent& content);
    bool confirmed(QSerialPortError error, const QString& errorString, const QByteArray& data);
    void advance(Stage stage, int steps = 1);
    void sendReset(Stage stage);
    void nextBlock(Stage stage);
    QByteArray writeData(int stage, int block) const;
    void sendCheck();

    ExportContent m_content;
    QList<int> m_apartmentBlocks;
    QList<int> m_phoneBlocks;
    QTimer m_timer;
    int m_block = 0;
    int m_writing = 0; // the block of the write in flight
    int m_failedStage = -1;
    int m_failedBlock = 0;
    int m_checkStage = Settings; // the write the panel is asked to return before a resume
    int m_checkBlock = 0;
    bool m_checking = false;
    bool m_refused = false;  // the panel refused the last write
    bool m_mismatch = false; // the panel no longer holds what it confirmed
    bool m_resumable = false;
    Panel m_panel = Panel::Unchanged;
    std::array<int, StageCount> m_value{};
    std::array<int, StageCount> m_maximum{};
};
