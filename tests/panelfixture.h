#pragma once

#include "guitest.h"
#include "modalanswerer.h"
#include "panelsimulator.h"
#include "qserialporterror.h"
#include "testdatabase.h"

#include <QDialog>
#include <QPushButton>

class QPacket;
class QSerialPortThread;
struct ExportContent;

// Everything a simulated panel holds: its settings and its three tables.
QByteArray panelMemory(const PanelSimulator& sim);
// What a panel holds after content was exported into it and nothing broke the export off.
QByteArray cleanlyExported(const ExportContent& content);

// Stands in for the serial worker where a test runs chains of thousands of requests: each
// request is answered at once from the simulator's memory, without the line and its pauses,
// with the worker's checks, its three attempts and its cancel. Attach a requester by its
// signals sendPacket, cancel and startEvents.
class DirectLink : public QObject
{
    Q_OBJECT
public:
    explicit DirectLink(PanelSimulator* sim);
    ~DirectLink() override;
    void attach(QObject* requester);
    // The first next request of command waits unanswered for a cancel.
    void hold(int command) { m_holdCommand = command; }
    bool holding() const { return m_held != nullptr; }

    bool polling = true; // what startEvents last asked for

public slots:
    void sendPacket(QPacket* packet);
    void cancel();
    void startEvents(bool value);

private:
    void answer(QPacket* packet, QSerialPortError error, const QByteArray& frame,
                const QString& text = QString());

    PanelSimulator* m_sim;
    QPacket* m_held = nullptr;
    int m_holdCommand = -1;
};

// What the panel dialog tests share: a database, the simulator, a direct link to it, and the
// dialog under test with an answerer for its boxes (made after the dialog is up, so that the
// dialog itself is not taken for a box).
struct PanelFixture
{
    TestDatabase* db = nullptr;
    PanelSimulator* sim = nullptr;
    DirectLink* link = nullptr;
    QDialog* dialog = nullptr;
    ModalAnswerer* answerer = nullptr;

    void setUp();
    void tearDown();

    // Shows a Dialog on target (db when none) talking through the direct link, or through the
    // serial worker thread when one is given.
    template<typename Dialog>
    Dialog* open(TestDatabase* target = nullptr, QSerialPortThread* thread = nullptr)
    {
        delete dialog;
        auto* shown = thread ? Dialog::create(nullptr, &(target ? target : db)->db(), thread)
                             : new Dialog(nullptr, &(target ? target : db)->db(), nullptr);
        if (!thread)
            link->attach(shown);
        dialog = shown;
        dialog->show();
        delete answerer;
        answerer = new ModalAnswerer;
        return shown;
    }
    QPushButton* button(const char* name) { return childOf<QPushButton>(dialog, name); }
};
