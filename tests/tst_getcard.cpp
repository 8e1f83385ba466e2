#include "guitest.h"
#include "modalanswerer.h"
#include "mytreewidgetitem.h"
#include "panelsimulator.h"
#include "qcard.h"
#include "qgetcard.h"
#include "qpacket.h"
#include "qzelkorwindow.h"
#include "testdatabase.h"
#include "treerows.h"

#include <QtTest>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QToolButton>
#include <QTreeWidget>

namespace {
const QString Prompt = QStringLiteral("Поднесите ключ к считывателю ...");
const QString NoLink = QStringLiteral("Требуется подключение к панели.");
} // namespace

// Key capture from the simulated panel through the main window's event stream, on its own
// and from the key dialog's "..." button.
class TestGetCard : public QObject
{
    Q_OBJECT

    PanelSimulator* sim = nullptr;
    QZelKorWindow* window = nullptr;
    QGetCard* dialog = nullptr;
    // The key dialog of the window, on a tree of its own and no database.
    QScopedPointer<QTreeWidget> keyTree;
    QSqlDatabase noDatabase;
    QScopedPointer<QCard> card;

    template<typename T>
    T* child(const char* name)
    {
        return childOf<T>(dialog, name);
    }
    QLineEdit* shown() { return child<QLineEdit>("lineEdit"); }
    QPushButton* start() { return child<QPushButton>("pbStart"); }
    QPushButton* acceptButton() { return child<QPushButton>("pbAccept"); }
    int events() { return childOf<QTreeWidget>(window, "treeEvents")->topLevelItemCount(); }

    void connectToSimulator()
    {
        QComboBox* ports = childOf<QComboBox>(window, "cbListPort");
        const int index = ports->findText(sim->slavePath());
        QVERIFY(index >= 0);
        ports->setCurrentIndex(index);
        childOf<QPushButton>(window, "pbConnectPort")->click();
        QVERIFY(window->serialThread()->isRunning());
    }

    void open(int format, QZelKorWindow* source)
    {
        dialog = QGetCard::create(nullptr, source, format);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
    }

    // Opens the key dialog for subscriber 3 with "77" in its key field.
    void openKeyDialog(int format)
    {
        keyTree.reset(newDatabaseTree());
        keyTree->addTopLevelItem(TreeRow::newSubscriber(3, "33", "333", QStringList()));
        card.reset(QCard::create(window, &noDatabase, format, keyTree.data(),
                                 keyTree->topLevelItem(0), nullptr));
        card->show();
        QVERIFY(QTest::qWaitForWindowExposed(card.data()));
        keyField()->setText("77");
    }
    QLineEdit* keyField() { return childOf<QLineEdit>(card.data(), "vCard"); }

    // Presses "Старт" in a capture dialog and answers it with the key the panel reports.
    static void captureKey(QWidget* capture, PanelSimulator* sim, quint32 key)
    {
        childOf<QPushButton>(capture, "pbStart")->click();
        sim->queueKey(key);
        QTRY_VERIFY(childOf<QPushButton>(capture, "pbAccept")->isEnabled());
        childOf<QPushButton>(capture, "pbAccept")->click();
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        sim = new PanelSimulator;
        QVERIFY(sim->start());
        qputenv("OSTROVEL_EXTRA_PORTS", sim->slavePath().toLocal8Bit());
        window = new QZelKorWindow;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    void cleanup()
    {
        delete dialog;
        dialog = nullptr;
        card.reset();
        keyTree.reset();
        delete window;
        window = nullptr;
        delete sim;
        sim = nullptr;
        QCOMPARE(QPacket::liveCount(), 0);
    }

    void form()
    {
        open(2, window);
        QCOMPARE(dialog->windowTitle(), QString("Получение кода ключа"));
        QCOMPARE(dialog->width(), 431);
        QCOMPARE(dialog->maximumHeight(), 1);
        QVERIFY(dialog->height() < 184);
        QVERIFY(dialog->isModal());

        auto* panel = child<QRadioButton>("rbPanel");
        QCOMPARE(panel->text(), QString("От панели"));
        QVERIFY(panel->isChecked());
        QVERIFY(panel->isHidden());
        auto* reader = child<QRadioButton>("rbReader");
        QCOMPARE(reader->text(), QString("От административного считывателя"));
        QVERIFY(!reader->isChecked());
        QVERIFY(reader->isHidden());
        auto* readers = child<QComboBox>("cboxListReader");
        QCOMPARE(readers->count(), 0);
        QVERIFY(!readers->isEnabled());
        QVERIFY(readers->isHidden());
        auto* refresh = child<QToolButton>("tbRefresh");
        QCOMPARE(refresh->text(), QString("..."));
        QVERIFY(!refresh->icon().isNull());
        QVERIFY(!refresh->isEnabled());
        QVERIFY(refresh->isHidden());

        QVERIFY(shown()->isReadOnly());
        QCOMPARE(shown()->text(), QString());
        QVERIFY(start()->isCheckable());
        QVERIFY(start()->isEnabled());
        QVERIFY(!start()->isChecked());
        QCOMPARE(start()->text(), QString("Старт"));
        QCOMPARE(acceptButton()->text(), QString("Принять"));
        QVERIFY(!acceptButton()->isEnabled());
        QCOMPARE(child<QPushButton>("pbCancel")->text(), QString("Отмена"));
    }

    void capture_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("text");
        QTest::newRow("touch memory") << 0 << "0000000000A1B2C3";
        QTest::newRow("em-marin") << 1 << "161,45763";
        QTest::newRow("code") << 2 << "10597059";
        QTest::newRow("ten digits") << 3 << "0010597059";
    }
    void capture()
    {
        QFETCH(int, format);
        QFETCH(QString, text);
        connectToSimulator();
        open(format, window);
        QSignalSpy cancelled(dialog, &QGetCard::cancel);
        start()->click();
        QVERIFY(start()->isChecked());
        QCOMPARE(start()->text(), QString("Стоп"));
        QVERIFY(!acceptButton()->isEnabled());

        sim->queueKey(0xA1B2C3);
        QTRY_COMPARE(shown()->text(), text);
        QVERIFY(acceptButton()->isEnabled());
        QVERIFY(!start()->isChecked());
        QCOMPARE(start()->text(), QString("Старт"));
        QCOMPARE(cancelled.size(), 1);

        acceptButton()->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->cardText(), text);
    }

    void promptBlinks()
    {
        connectToSimulator();
        open(2, window);
        start()->click();
        QTRY_COMPARE(shown()->text(), Prompt);
        QTRY_COMPARE(shown()->text(), QString());
        QTRY_COMPARE(shown()->text(), Prompt);

        // Stopping ends the blinking and the wait.
        start()->click();
        QCOMPARE(start()->text(), QString("Старт"));
        QCOMPARE(shown()->text(), QString());
        QTest::qWait(400);
        QCOMPARE(shown()->text(), QString());
        emit window->sendCard(42);
        QCOMPARE(shown()->text(), QString());
        QVERIFY(!acceptButton()->isEnabled());
    }

    void onlyTheFirstKeyIsTaken()
    {
        connectToSimulator();
        open(2, window);
        start()->click();
        // A record without a key is listed but does not end the wait.
        sim->queueButton();
        QTRY_COMPARE(events(), 1);
        emit window->sendCard(0);
        QVERIFY(start()->isChecked());
        QVERIFY(!acceptButton()->isEnabled());

        sim->queueKey(12345);
        QTRY_COMPARE(shown()->text(), QString("12345"));
        sim->queueKey(777);
        QTRY_COMPARE(events(), 3);
        QCOMPARE(shown()->text(), QString("12345"));

        // Starting again clears the shown key and takes the next one.
        start()->click();
        QVERIFY(shown()->text() != QString("12345"));
        QVERIFY(!acceptButton()->isEnabled());
        sim->queueKey(778);
        QTRY_COMPARE(shown()->text(), QString("778"));
    }

    void noLink_data()
    {
        QTest::addColumn<bool>("withWindow");
        QTest::newRow("disconnected window") << true;
        QTest::newRow("no window") << false;
    }
    void noLink()
    {
        QFETCH(bool, withWindow);
        open(2, withWindow ? window : nullptr);
        QSignalSpy cancelled(dialog, &QGetCard::cancel);
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        start()->click();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().title, QString("Получение кода ключа"));
        QCOMPARE(answerer.seen.first().text, NoLink);
        QCOMPARE(answerer.seen.first().icon, QMessageBox::Critical);
        QVERIFY(!start()->isChecked());
        QCOMPARE(start()->text(), QString("Старт"));
        QCOMPARE(shown()->text(), QString());
        QVERIFY(!acceptButton()->isEnabled());
    }

    void endingStopsTheWait_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel button") << "cancel";
        QTest::newRow("close box") << "close";
        QTest::newRow("escape") << "escape";
    }
    void endingStopsTheWait()
    {
        QFETCH(QString, how);
        connectToSimulator();
        open(0, window);
        QSignalSpy cancelled(dialog, &QGetCard::cancel);
        start()->click();
        if (how == "cancel")
            child<QPushButton>("pbCancel")->click();
        else if (how == "close")
            dialog->close();
        else
            QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(cancelled.size(), 1);
        QVERIFY(!start()->isChecked());

        // Keys after the end reach nothing, and the prompt no longer blinks.
        emit window->sendCard(0xA1B2C3);
        QCOMPARE(shown()->text(), QString());
        QVERIFY(!acceptButton()->isEnabled());
        QTest::qWait(400);
        QCOMPARE(shown()->text(), QString());
    }

    void getCard_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("result");
        QTest::newRow("accepted") << "accept"
                                  << "0000000000A1B2C3";
        QTest::newRow("cancelled after capture") << "cancel"
                                                 << "";
        QTest::newRow("closed while waiting") << "close"
                                              << "";
    }
    void getCard()
    {
        QFETCH(QString, answer);
        QFETCH(QString, result);
        connectToSimulator();
        ModalAnswerer answerer;
        PanelSimulator* panel = sim;
        answerer.handle([answer, panel](QWidget* capture) {
            if (answer == "accept") {
                captureKey(capture, panel, 0xA1B2C3);
                return;
            }
            childOf<QPushButton>(capture, "pbStart")->click();
            if (answer == "cancel") {
                panel->queueKey(0xA1B2C3);
                QTRY_VERIFY(childOf<QPushButton>(capture, "pbAccept")->isEnabled());
                childOf<QPushButton>(capture, "pbCancel")->click();
            } else {
                capture->close();
            }
        });
        QCOMPARE(QGetCard::getCard(nullptr, window, 0), result);
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().className, QString("QGetCard"));
        // The capture dialog is gone and left no connection behind.
        emit window->sendCard(5);
        QVERIFY(window->findChildren<QGetCard*>().isEmpty());
    }

    void keyDialogTakesTheCapturedKey_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("key");
        QTest::newRow("touch memory") << 0 << true << "0000000000A1B2C3";
        QTest::newRow("em-marin") << 1 << true << "161,45763";
        QTest::newRow("cancelled") << 2 << false << "77";
    }
    void keyDialogTakesTheCapturedKey()
    {
        QFETCH(int, format);
        QFETCH(bool, accept);
        QFETCH(QString, key);
        connectToSimulator();
        openKeyDialog(format);
        if (QTest::currentTestFailed())
            return;

        ModalAnswerer answerer;
        PanelSimulator* panel = sim;
        answerer.handle([accept, panel](QWidget* capture) {
            if (accept)
                captureKey(capture, panel, 0xA1B2C3);
            else
                childOf<QPushButton>(capture, "pbCancel")->click();
        });
        childOf<QToolButton>(card.data(), "toolButton")->click();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().title, QString("Получение кода ключа"));
        QCOMPARE(keyField()->text(), key);
    }

    void keyDialogWithoutLink()
    {
        openKeyDialog(2);
        if (QTest::currentTestFailed())
            return;

        ModalAnswerer answerer;
        bool stayedIdle = false;
        answerer.handle([&stayedIdle](QWidget* capture) {
            auto* startButton = childOf<QPushButton>(capture, "pbStart");
            startButton->click();
            stayedIdle = !startButton->isChecked() && startButton->text() == "Старт";
            static_cast<QDialog*>(capture)->reject();
        });
        answerer.press(QMessageBox::Ok);
        childOf<QToolButton>(card.data(), "toolButton")->click();
        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(answerer.seen.at(0).className, QString("QGetCard"));
        QCOMPARE(answerer.seen.at(1).text, NoLink);
        QVERIFY(stayedIdle);
        QCOMPARE(keyField()->text(), QString("77"));
    }
};

QTEST_MAIN(TestGetCard)
#include "tst_getcard.moc"
