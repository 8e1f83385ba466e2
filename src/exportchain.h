#pragma once

#include "exportcontent.h"
#include "panelchain.h"

#include <QTimer>

#include <array>

// Replaces the whole content of the panel: clears its memory, writes the settings record, then
// the apartment, phone and key blocks, one request after the other.
class ExportChain : public PanelChain
{
    Q_OBJECT
public:
    enum Stage { Reset, Settings, Apartments, Phones, Cards, StageCount };
    // The settings bar ticks while the panel clears its memory, which takes up to 8 s.
    static constexpr int SettingsSteps = 20;
    static constexpr int TickMs = 500;

    explicit ExportChain(QObject* parent = nullptr);

    void start(const ExportContent& content);
    QString stageTitle(int stage) const override;
    QString actionText() const override { return tr("Экспорт данных в панель"); }

public slots:
    void onHandleReset(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleSettings(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleApartments(QSerialPortError error, QString errorString, QByteArray data);
    void onHandlePhones(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleCards(QSerialPortError error, QString errorString, QByteArray data);
    void onTimer();

private:
    void advance(Stage stage, int steps = 1);
    void nextApartments();
    void nextPhones();
    void nextCards();

    ExportContent m_content;
    QList<int> m_apartmentBlocks;
    QList<int> m_phoneBlocks;
    QTimer m_timer;
    int m_block = 0;
    std::array<int, StageCount> m_value{};
    std::array<int, StageCount> m_maximum{};
};
