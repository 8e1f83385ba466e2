#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>

namespace Ui {
class QGetCard;
}
class KeyFeed;

// Waits for a key presented at the panel's reader and shows its text in a key format; the key
// codes come from the main window's event stream (its KeyFeed).
class QGetCard : public QDialog
{
    Q_OBJECT
public:
    QGetCard(QObject* window, int format, QWidget* parent = nullptr);
    ~QGetCard() override;

    // A dialog that renders the keys of window's event stream in format.
    static QGetCard* create(QWidget* parent, QObject* window, int format);
    // Runs the dialog modally; the captured key text when accepted, else an empty string.
    static QString getCard(QWidget* parent, QObject* window, int format);

    // The text shown: the captured key, the prompt or nothing.
    QString cardText() const;

    // However the dialog ends, it stops listening to the event stream first.
    void done(int result) override;

signals:
    void cancel();

public slots:
    void on_sendCard(uint card);
    void on_timeout();
    void on_rbPanel_toggled(bool checked);
    void on_rbReader_toggled(bool checked);
    void on_cboxListReader_currentIndexChanged(int index);
    void on_pbStart_toggled(bool checked);
    void on_tbRefresh_clicked();

private:
    using QDialog::exec;

    bool linkIsUp() const;
    void stopListening();

    Ui::QGetCard* ui;
    QPointer<KeyFeed> m_keys;
    int m_format;
    QTimer m_timer;
    QMetaObject::Connection m_listening;
};
