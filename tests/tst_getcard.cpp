#include "mytreewidgetitem.h"
#include "qcard.h"
#include "qgetcard.h"
#include "qpacket.h"
#include "qzelkorwindow.h"
#include "testsupport.h"
#include "treerows.h"

// Key capture from the simulated panel through the main window's event stream, on its own
// and from the key dialog's "..." button.
class TestGetCard : public QObject
{
    Q_OBJECT

    QScopedPointer<PanelSimulator> sim;
    QScopedPointer<QZelKorWindow> window;
    QScopedPointer<QGetCard> dialog;

    QString shown() { return childOf<QLineEdit>(dialog.data(), "lineEdit")->text(); }
    QPushButton* button(const char* name) { return childOf<QPushButton>(dialog.data(), name); }

    void open(int format, bool connected = true)
    {
        if (connected)
            QVERIFY(connectWindow(window.data(), sim->slavePath()));
        dialog.reset(QGetCard::create(nullptr, window.data(), format));
        dialog->show();
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        sim.reset(new PanelSimulator);
        QVERIFY(sim->start());
        qputenv("OSTROVEL_EXTRA_PORTS", sim->slavePath().toLocal8Bit());
        window.reset(new QZelKorWindow);
    }

    void cleanup()
    {
        dialog.reset();
        window.reset();
        sim.reset();
        QCOMPARE(QPacket::liveCount(), 0);
    }

    void capture_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("text");
        QTest::newRow("touch memory") << 0 << "0000000000A1B2C3";
        QTest::newRow("ten digits") << 3 << "0010597059";
    }
    void capture()
    {
        QFETCH(int, format);
        QFETCH(QString, text);
        open(format);
        QSignalSpy cancelled(dialog.data(), &QGetCard::cancel);
        button("pbStart")->click();
        QCOMPARE(button("pbStart")->text(), QString("Стоп"));
        // The prompt blinks until a key comes.
        QTRY_COMPARE(shown(), QString("Поднесите ключ к считывателю ..."));
        QTRY_COMPARE(shown(), QString());
        QVERIFY(!button("pbAccept")->isEnabled());
        sim->queueKey(0xA1B2C3);
        QTRY_COMPARE(shown(), text);
        QVERIFY(button("pbAccept")->isEnabled() && !button("pbStart")->isChecked());
        QCOMPARE(button("pbStart")->text(), QString("Старт"));
        QCOMPARE(cancelled.size(), 1);
        button("pbAccept")->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->cardText(), text);
    }

    void withoutLinkNothingStarts()
    {
        for (const bool withWindow : {true, false}) {
            if (!withWindow)
                window.reset();
            open(2, false);
            ModalAnswerer answerer;
            answerer.press(QMessageBox::Ok);
            button("pbStart")->click();
            QCOMPARE(answerer.seen.value(0).title + ": " + answerer.seen.value(0).text,
                     QString("Получение кода ключа: Требуется подключение к панели."));
            QVERIFY(!button("pbStart")->isChecked());
            QCOMPARE(button("pbStart")->text() + shown(), QString("Старт"));
        }
    }

    void keyDialogTakesTheCapturedKey()
    {
        QVERIFY(connectWindow(window.data(), sim->slavePath()));
        QScopedPointer<QTreeWidget> tree(newDatabaseTree());
        tree->addTopLevelItem(TreeRow::newSubscriber(3, "33", "333", {}));
        QSqlDatabase noDatabase;
        QScopedPointer<QCard> card(QCard::create(window.data(), &noDatabase, 1, tree.data(),
                                                 tree->topLevelItem(0), nullptr));
        card->show();
        QLineEdit* key = childOf<QLineEdit>(card.data(), "vCard");
        // Captured and accepted, then captured and cancelled.
        for (const char* end : {"pbAccept", "pbCancel"}) {
            key->setText("001,00077");
            ModalAnswerer answerer;
            answerer.handle([end, this](QWidget* capture) {
                childOf<QPushButton>(capture, "pbStart")->click();
                sim->queueKey(0xA1B2C3);
                QTRY_VERIFY(childOf<QPushButton>(capture, "pbAccept")->isEnabled());
                childOf<QPushButton>(capture, end)->click();
            });
            childOf<QToolButton>(card.data(), "toolButton")->click();
            QCOMPARE(answerer.seen.value(0).className, QString("QGetCard"));
            QCOMPARE(key->text(), QString(end) == "pbAccept" ? "161,45763" : "001,00077");
        }
        // The capture dialogs are gone and left no connection behind.
        emit window->sendCard(5);
        QVERIFY(window->findChildren<QGetCard*>().isEmpty());
    }
};

QTEST_MAIN(TestGetCard)
#include "tst_getcard.moc"
