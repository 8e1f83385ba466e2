#pragma once

#include "panelchain.h"
#include "paneltables.h"

// Reads the panel into an image: its settings record and, in full mode, the whole apartment,
// phone and key tables, empty records included. Writes nothing anywhere; see importwriter.h for
// putting the image into a database.
class ImportChain : public PanelChain
{
    Q_OBJECT
public:
    enum Stage { Settings, Apartments, Phones, Cards, StageCount };
    enum Mode { Full, SettingsOnly };
    static constexpr int SettingsSteps = 2;

    explicit ImportChain(QObject* parent = nullptr);

    void start(Mode mode);
    QString stageTitle(int stage) const override;
    QString actionText() const override { return tr("Импорт данных из панели"); }
    Mode mode() const { return m_mode; }
    // What has been read; complete once the chain has finished successfully.
    const PanelTables::PanelImage& image() const { return m_image; }
    // Requests a stage takes.
    static int requests(Stage stage);

public slots:
    void onHandleSettings(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleApartments(QSerialPortError error, QString errorString, QByteArray data);
    void onHandlePhones(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleCards(QSerialPortError error, QString errorString, QByteArray data);

private:
    void nextApartments();
    void nextPhones();
    void nextCards();

    Mode m_mode = Full;
    int m_n = 0;
    PanelTables::PanelImage m_image;
};
