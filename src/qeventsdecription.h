#pragma once

#include <QMap>
#include <QObject>
#include <QString>

// Texts of the panel's event codes and the description of one 6-byte event record.
// One instance exists for the whole run, created before main; see eventsDecription.
class QEventsDecription : public QObject
{
    Q_OBJECT
public:
    explicit QEventsDecription(QObject* parent = nullptr);

    // The description of a record (key code, flags, event code, status); empty for a null
    // record or when no instance exists.
    static QString text(const quint8* record);

private:
    QString describe(const quint8* record) const;
    QString withSources(const QString& text, quint8 flags) const;

    QMap<quint8, QString> m_events;
    QMap<quint8, QString> m_buttons;
};

extern QEventsDecription* eventsDecription;
