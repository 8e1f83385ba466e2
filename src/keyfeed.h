#pragma once

#include <QObject>

class QSerialPortThread;

// The keys read at the panel, as the main window's event stream delivers them, for key capture:
// a dialog waiting for a key listens here and asks whether the link runs, without knowing the
// window.
class KeyFeed : public QObject
{
    Q_OBJECT
public:
    // A feed of window's, whose events come from worker.
    KeyFeed(QSerialPortThread* worker, QObject* window);

    bool linkIsUp() const;
    // The feed window has, or nullptr.
    static KeyFeed* of(const QObject* window);

signals:
    void card(uint card);

private:
    QSerialPortThread* m_worker;
};
