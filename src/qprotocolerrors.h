#pragma once

#include <QMap>
#include <QObject>
#include <QString>

// Texts of the panel's result codes (byte 2 of an answer). One instance exists for the
// whole run, created before main; see protocolErrors.
class QProtocolErrors : public QObject
{
    Q_OBJECT
public:
    explicit QProtocolErrors(QObject* parent = nullptr);

    // The text for a result code; empty when no instance exists.
    static QString text(const quint8& code);

private:
    QMap<quint8, QString> m_texts;
};

extern QProtocolErrors* protocolErrors;
