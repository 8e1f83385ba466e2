#pragma once

#include "qpacket.h"
#include "qserialporterror.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// A chain of requests to the panel: each answer's slot checks the answer and sends the next
// request, until the chain ends with success or stops at the first failure. Event polling is
// off while the chain runs and back on at every end: success, failure, a cancelled request, a
// link that stopped, or the chain destroyed midway. Knows no widget: what to show goes out
// with finished(). Connect startEvents, cancel and sendPacket to the serial worker's signals
// of the same names (directly, see requesterwiring.h), and the worker thread's finished() to
// onLinkClosed().
class PanelChain : public QObject
{
    Q_OBJECT
public:
    explicit PanelChain(QObject* parent = nullptr);
    ~PanelChain() override;

    bool isRunning() const { return m_running; }
    // Interrupts the request in flight, or keeps the next one from going out; the cancellation
    // error ends the chain.
    void stop();
    // The title under which a failure of stage is shown; empty where the caller's own title
    // serves.
    virtual QString stageTitle(int stage) const = 0;
    // How the event journal names what the chain does to the panel; empty for a chain that
    // changes nothing there and is not recorded.
    virtual QString actionText() const { return {}; }
    // Keeps the chain out of the journal, as a reading that only prepares another chain.
    void setJournalled(bool journalled) { m_journalled = journalled; }

signals:
    void startEvents(const bool& value);
    void cancel();
    void sendPacket(QPacket* packet);
    // A stage's progress, value of maximum.
    void progress(int stage, int value, int maximum);
    // The end: ok, or the stage that failed and the text to show (the link's error text or the
    // panel's result-code text). Some chains also say something on success.
    void finished(bool ok, int stage, const QString& message);

public slots:
    // The serial worker has stopped; a request it dropped without an answer ends the chain.
    void onLinkClosed();

protected:
    // Polling off; the chain runs.
    void begin();
    // Sends one request of stage with its answer going to slot, queued.
    template<typename Chain>
    void send(int stage, quint8 command, quint8 parameter, const QByteArray& data,
              void (Chain::*slot)(QSerialPortError, QString, QByteArray))
    {
        QPacket* packet = QPacket::request(command, parameter, data);
        connect(packet, &QPacket::handleEvent, static_cast<Chain*>(this), slot,
                Qt::QueuedConnection);
        dispatch(stage, packet);
    }
    template<typename Chain>
    void send(int stage, quint8 command, const QByteArray& data,
              void (Chain::*slot)(QSerialPortError, QString, QByteArray))
    {
        send(stage, command, 0, data, slot);
    }
    // The stage of the request sent last.
    int stage() const { return m_stage; }
    // True when the answer is the awaited one and good; a failure ends the chain.
    bool answered(QSerialPortError error, const QString& errorString, const QByteArray& data);
    // Ends the chain; polling on.
    void finish(bool ok, int stage = 0, const QString& message = QString());
    // Called at every end before finished() goes out, so that what a chain reports about its
    // end is in place when the receivers ask.
    virtual void ending(bool ok, int stage);

private:
    void dispatch(int stage, QPacket* packet);
    // Tells the event journal how the chain ended.
    void report(bool ok, const QString& failure);

    bool m_running = false;
    bool m_waiting = false;
    bool m_stopRequested = false;
    int m_stage = 0;
    QString m_action;
    bool m_journalled = true;
};
