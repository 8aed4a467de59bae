// The devices this system drives, used the way an operator does in the device list: the row's
// context menu or the Commands button, the parameter dialog for a command with parameters, and
// the bytes read on the far end of a real link (a pseudo-terminal, a UDP or TCP socket of the
// test, the MIDI loopback backend). These protocols are not offered by the add pop-up: the
// devices come from the device file, as they do for the user.
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/protocols/rosstalk/QMProtocolParserRossTalk.h"
#include "comm/core/protocols/sonybvw/QMProtocolParserSonyBVW.h"
#include "comm/core/protocols/switchers/QMProtocolParserGVG100.h"
#include "comm/core/protocols/switchers/QMProtocolParserSonyBVS.h"
#include "comm/core/protocols/switchers/QMSwitcherModule.h"
#include "comm/showcontrol/gpio/QMProtocolParserGlobalCache.h"
#include "comm/showcontrol/gpio/QMProtocolParserNumatoGPIO.h"
#include "comm/showcontrol/midi/QMProtocolParserMIDI.h"
#include "platform/midi/LoopbackMidiBackend.h"
#include "tests/comm/core/protocols/sonybvw/NinePinPeer.h"
#include "tests/platform/midi/NoMidiSystem.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/ui/support/DeviceListRig.h"
#include "ui/logic/prefs/KLVDeviceListText.h"
#include "ui/widgets/comm/sonybvw/QMSonyBVWControlView.h"
#include "ui/widgets/prefs/KLVDeviceConfigSheet.h"
#include "ui/widgets/prefs/KLVParamConfigDialog.h"
#include "ui/widgets/prefs/KLVPreferencesController.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <gtest/gtest.h>

using testsupport::waitUntil;

namespace {

QList<const QMProtocolParserClass*> controllerParsers()
{
    QMProtocolParserSonyBVW::registerParserClass();
    QMRegisterSwitcherClasses();
    QMRegisterRossTalkClass();
    QMRegisterGPIOClasses();
    QMRegisterMIDIClasses();
    return {&QMProtocolParserSonyBVW::parserClassObject(), &QMProtocolParserGVG100::gvg100Class(),
            &QMProtocolParserSonyBVS::sonyBVSClass(),      &QMProtocolParserRossTalk::rossTalkClass(),
            &QMProtocolParserGlobalCache::globalCacheClass(), &QMProtocolParserMIDI::midiClass()};
}

QString serialLink(const QString& path)
{
    return QStringLiteral("<QMSerialHardwareCommunicator interface=\"%1\"/>").arg(path);
}

QString networkLink(const char* className, quint16 port)
{
    return QStringLiteral("<%1 port=\"%2\" address=\"127.0.0.1\" mode=\"1\"/>").arg(QLatin1String(className)).arg(port);
}

// One device read from the device file, in the device list of the preferences window.
struct DeviceWindow : testsupport::DeviceListRig {
    // parserElement: the parser's element with its link inside, as the device file holds it.
    explicit DeviceWindow(const QString& parserElement) : DeviceListRig(controllerParsers())
    {
        QFile file(manager->devicesFilePath());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("<devices><device deviceLabel=\"Under test\" deviceID=\"6B0E5C7A-0D0B-4E47-9E0D-1B2C3D4E5F60\" "
                                  "reconnect=\"0\" klvChannel=\"0\">%1</device></devices>")
                       .arg(parserElement)
                       .toUtf8());
        file.close();
        manager = freshManager();
        EXPECT_EQ(manager->connectionWrappersArrayController().rowCount(), 1);
        window = std::make_unique<KLVPreferencesController>(*manager, controller);
        window->toolbarAction(2);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    QMCommModuleConnectionWrapper* device() const { return manager->connectionWrappersArrayController().at(0); }
    QListView* list() const { return window->deviceList(); }
    QRect row() const { return list()->visualRect(list()->model()->index(0, 0)); }

    void select() { QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, row().center()); }

    void connectDevice()
    {
        select();
        QPushButton* button = connectButton();
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(waitUntil([&] { return device()->isConnected(); }));
    }

    QPushButton* connectButton() const
    {
        for (QPushButton* b : window->findChildren<QPushButton*>()) {
            if (b->text() == QLatin1String("Connect") || b->text() == QLatin1String("Disconnect"))
                return b;
        }
        return nullptr;
    }

    // The menu a right-click on the device's row pops up.
    QMenu* rightClick()
    {
        const QPoint at = row().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list()->viewport(), &event);
        QMenu* menu = window->commandMenu();
        if (menu) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(menu));
        }
        return menu;
    }

    QMenu* commandsButtonMenu()
    {
        select();
        EXPECT_TRUE(window->commandsButton()->isEnabled());
        QTest::mouseClick(window->commandsButton(), Qt::LeftButton);
        QMenu* menu = window->commandMenu();
        if (menu) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(menu));
        }
        return menu;
    }

    std::unique_ptr<KLVPreferencesController> window;
};

QAction* item(QMenu* menu, const QString& title)
{
    for (QAction* a : menu->actions()) {
        if (a->text() == title)
            return a;
    }
    return nullptr;
}

QStringList titles(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
        out << a->text();
    return out;
}

// Chooses the command with a click on its item.
void choose(QMenu* menu, const QString& title)
{
    QAction* a = item(menu, title);
    ASSERT_NE(a, nullptr) << title.toStdString();
    ASSERT_TRUE(a->isEnabled());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
}

// Answers the next parameter dialog that comes up: each row's value (a pop-up's item by its
// text, a field by typing), then OK; with accept false, Cancel.
struct ParamDialogAnswer {
    explicit ParamDialogAnswer(QStringList values, bool accept = true)
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this, values, accept] {
            auto* dialog = qobject_cast<KLVParamConfigDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            timer.stop();
            title = dialog->windowTitle();
            for (int row = 0; row < values.size(); ++row) {
                if (auto* popup = qobject_cast<QComboBox*>(dialog->valueWidget(row))) {
                    kinds << QStringLiteral("pop-up");
                    popup->setCurrentIndex(popup->findText(values[row]));
                } else if (auto* field = qobject_cast<QLineEdit*>(dialog->valueWidget(row))) {
                    kinds << QStringLiteral("field");
                    QTest::keyClicks(field, values[row]);
                }
            }
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            QTest::mouseClick(buttons->button(accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel), Qt::LeftButton);
            answered = true;
        });
        timer.start();
    }
    QTimer timer;
    bool answered = false;
    QString title;
    QStringList kinds;
};

// Everything the far end of a pseudo-terminal has read once `count` bytes are in.
QByteArray readLine(testsupport::PseudoTerminal& line, QByteArray& got, int count)
{
    EXPECT_TRUE(waitUntil([&] {
        got += line.readAvailable();
        return got.size() >= count;
    })) << got.toHex(' ').toStdString();
    return got;
}

// A TCP peer of the test that the device connects to, and what it reads.
struct TcpPeer {
    TcpPeer() { EXPECT_TRUE(server.listen(QHostAddress::LocalHost)); }
    bool accept()
    {
        if (!waitUntil([&] { return server.hasPendingConnections(); }))
            return false;
        socket = server.nextPendingConnection();
        return socket != nullptr;
    }
    // Reads until the bytes read end with `end` `count` times.
    QByteArray readUntil(const QByteArray& end, int count)
    {
        EXPECT_TRUE(waitUntil([&] {
            got += socket->readAll();
            return got.count(end) >= count;
        })) << got.toStdString();
        return got;
    }
    QTcpServer server;
    QTcpSocket* socket = nullptr;
    QByteArray got;
};

} // namespace

TEST(DeviceCommands, Gvg100OnASerialLineSendsTheChosenCommandAndIsGreyedUntilConnected)
{
    testsupport::PseudoTerminal line(true);
    ASSERT_TRUE(line.isValid());
    DeviceWindow rig(QStringLiteral("<QMProtocolParserGVG100 behavior=\"1\">%1</QMProtocolParserGVG100>").arg(serialLink(line.slavePath())));

    // Not connected: the commands are there, greyed, under the device's state.
    QMenu* menu = rig.rightClick();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), rig.device()->deviceID());
    EXPECT_EQ(titles(menu), (QStringList{QStringLiteral("Not Connected"), QString(), QStringLiteral("Fade To Black"), QStringLiteral("DSK Toggle")}));
    EXPECT_FALSE(item(menu, QStringLiteral("Not Connected"))->isEnabled());
    EXPECT_FALSE(item(menu, QStringLiteral("Fade To Black"))->isEnabled());
    EXPECT_EQ(item(menu, QStringLiteral("DSK Toggle"))->toolTip(), QStringLiteral("Turns the DSK off"));
    menu->close();

    rig.connectDevice();
    menu = rig.rightClick();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(titles(menu), (QStringList{QStringLiteral("Fade To Black"), QStringLiteral("DSK Toggle")}));
    choose(menu, QStringLiteral("Fade To Black"));
    QByteArray got;
    EXPECT_EQ(readLine(line, got, 4), QByteArray("\x03\x00\xFB\x1F", 4));

    choose(rig.commandsButtonMenu(), QStringLiteral("DSK Toggle"));
    EXPECT_EQ(readLine(line, got, 8), QByteArray("\x03\x00\xFB\x1F\x03\x01\xFB\x0D", 8));
}

TEST(DeviceCommands, SonyBvsOverUdpSendsOneDatagramPerCommand)
{
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
    DeviceWindow rig(QStringLiteral("<QMProtocolParserSonyBVS behavior=\"1\">%1</QMProtocolParserSonyBVS>")
                         .arg(networkLink("QMUDPNetworkHardwareCommunicator", peer.localPort())));
    rig.connectDevice();
    QMenu* menu = rig.commandsButtonMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(titles(menu), (QStringList{QStringLiteral("Fade To Black"), QStringLiteral("Key On"), QStringLiteral("Key Off"),
                                         QStringLiteral("DSK On"), QStringLiteral("DSK Off")}));
    choose(menu, QStringLiteral("Fade To Black"));
    ASSERT_TRUE(waitUntil([&] { return peer.hasPendingDatagrams(); }));
    EXPECT_EQ(peer.receiveDatagram().data(), QByteArray("\x04\x00\x96\x80\x30", 5));

    choose(rig.rightClick(), QStringLiteral("Key Off"));
    ASSERT_TRUE(waitUntil([&] { return peer.hasPendingDatagrams(); }));
    EXPECT_EQ(peer.receiveDatagram().data(), QByteArray("\x03\x01\x9A\x10", 4));
}

TEST(DeviceCommands, RossTalkAsksForTheParametersAndSendsTheLineOnlyWhenAccepted)
{
    TcpPeer peer;
    DeviceWindow rig(QStringLiteral("<QMProtocolParserRossTalk behavior=\"1\">%1</QMProtocolParserRossTalk>")
                         .arg(networkLink("QMTCPNetworkHardwareCommunicator", peer.server.serverPort())));
    rig.connectDevice();
    ASSERT_TRUE(peer.accept());

    // Cancelled: nothing goes out. The next command's line is the first the switcher reads.
    {
        ParamDialogAnswer cancel({QStringLiteral("3"), QStringLiteral("4")}, false);
        choose(rig.rightClick(), QStringLiteral("Key Cut"));
        ASSERT_TRUE(waitUntil([&] { return cancel.answered; }));
    }
    choose(rig.rightClick(), QStringLiteral("Fade To Black"));
    EXPECT_EQ(peer.readUntil("\r\n", 1), QByteArray("FTB\r\n"));

    ParamDialogAnswer keyCut({QStringLiteral("2"), QStringLiteral("1")});
    choose(rig.commandsButtonMenu(), QStringLiteral("Key Cut"));
    EXPECT_EQ(peer.readUntil("\r\n", 2), QByteArray("FTB\r\nKEYCUT 2:1\r\n"));
    EXPECT_EQ(keyCut.title, QStringLiteral("Key Cut"));
    EXPECT_EQ(keyCut.kinds, (QStringList{QStringLiteral("pop-up"), QStringLiteral("pop-up")}));

    // A parameter without a list of values is typed in.
    ParamDialogAnswer gpi({QStringLiteral("12")});
    choose(rig.rightClick(), QStringLiteral("Trigger GPI"));
    EXPECT_EQ(peer.readUntil("\r\n", 3), QByteArray("FTB\r\nKEYCUT 2:1\r\nGPI 12\r\n"));
    EXPECT_EQ(gpi.kinds, QStringList{QStringLiteral("field")});
}

TEST(DeviceCommands, RossTalkCommandsWithATypedParameterAreNotSentEmpty)
{
    TcpPeer peer;
    DeviceWindow rig(QStringLiteral("<QMProtocolParserRossTalk behavior=\"1\">%1</QMProtocolParserRossTalk>")
                         .arg(networkLink("QMTCPNetworkHardwareCommunicator", peer.server.serverPort())));
    rig.connectDevice();
    ASSERT_TRUE(peer.accept());

    for (const QString& command : {QStringLiteral("Trigger GPI"), QStringLiteral("Custom Control")}) {
        // Left empty (or blanks only), OK is greyed and neither its click nor Return accepts.
        bool okEnabled = true, stillUp = false, answered = false;
        QTimer timer;
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<KLVParamConfigDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            timer.stop();
            auto* field = qobject_cast<QLineEdit*>(dialog->valueWidget(0));
            QTest::keyClicks(field, QStringLiteral("  "));
            okEnabled = dialog->okButton()->isEnabled();
            QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
            QTest::keyClick(field, Qt::Key_Return);
            stillUp = dialog->isVisible();
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
            answered = true;
        });
        timer.start();
        choose(rig.rightClick(), command);
        ASSERT_TRUE(waitUntil([&] { return answered; })) << command.toStdString();
        EXPECT_FALSE(okEnabled) << command.toStdString();
        EXPECT_TRUE(stillUp) << command.toStdString();
    }

    // Nothing went out: the switcher's first line is the next command's.
    ParamDialogAnswer gpi({QStringLiteral("3")});
    choose(rig.rightClick(), QStringLiteral("Trigger GPI"));
    EXPECT_EQ(peer.readUntil("\r\n", 1), QByteArray("GPI 3\r\n"));
}

TEST(DeviceCommands, EveryCommandsDialogAcceptsOnlyOnceEachParameterHasAValue)
{
    int typed = 0;
    for (const QMProtocolParserClass* parserClass : controllerParsers()) {
        const std::shared_ptr<QMProtocolParser> parser = parserClass->create();
        parser->setBehavior(QMProtocolBehaviorController);
        const QVariantMap commands = parser->protocolCommands();
        for (auto it = commands.begin(); it != commands.end(); ++it) {
            const QVariantMap descriptor = it.value().toMap();
            if (descriptor.value(QLatin1String(QMProtocolCommandKeyParams)).toList().isEmpty())
                continue;
            const std::string what = (parserClass->supportedProtocol() + QStringLiteral(" ") + it.key()).toStdString();
            KLVParamConfigDialog dialog(descriptor);
            QList<QLineEdit*> fields;
            for (int row = 0; dialog.valueWidget(row); ++row) {
                if (auto* field = qobject_cast<QLineEdit*>(dialog.valueWidget(row)))
                    fields << field;
            }
            // Pop-ups always hold a value; a typed parameter starts empty.
            EXPECT_EQ(dialog.okButton()->isEnabled(), fields.isEmpty()) << what;
            for (QLineEdit* field : fields) {
                EXPECT_FALSE(dialog.okButton()->isEnabled()) << what;
                QTest::keyClicks(field, QStringLiteral("1"));
            }
            EXPECT_TRUE(dialog.okButton()->isEnabled()) << what;
            typed += int(fields.size());
        }
    }
    EXPECT_GE(typed, 3) << "RossTalk's GPI and Custom Control, Global Cache's Interval";
}

TEST(DeviceCommands, GlobalCacheIntervalCommandWritesBothTimedLines)
{
    TcpPeer peer;
    DeviceWindow rig(QStringLiteral("<QMProtocolParserGlobalCache behavior=\"1\">%1</QMProtocolParserGlobalCache>")
                         .arg(networkLink("QMTCPNetworkHardwareCommunicator", peer.server.serverPort())));
    rig.connectDevice();
    ASSERT_TRUE(peer.accept());

    ParamDialogAnswer answer({QStringLiteral("2"), QStringLiteral("0.2")});
    choose(rig.rightClick(), QStringLiteral("On then Off with Interval"));
    EXPECT_EQ(peer.readUntil("\r", 2), QByteArray("setstate,1:2,1\rsetstate,1:2,0\r"));
    EXPECT_EQ(answer.title, QStringLiteral("On then Off with Interval"));
    EXPECT_EQ(answer.kinds, (QStringList{QStringLiteral("pop-up"), QStringLiteral("field")}));
}

TEST(DeviceCommands, MidiNoteOnReachesTheTickedDestination)
{
    auto midi = std::make_shared<platform::midi::LoopbackMidiBackend>();
    platform::midi::setBackend(midi);
    const platform::midi::MidiObjectRef synth = midi->addDestination(QStringLiteral("Synth"));
    {
        DeviceWindow rig(QStringLiteral("<QMProtocolParserMIDI behavior=\"4\"><QMMIDIHardwareCommunicator sources=\"\" "
                                        "destinations=\"Synth\"/></QMProtocolParserMIDI>"));
        rig.connectDevice();
        ParamDialogAnswer answer({QStringLiteral("1"), QStringLiteral("C3 (60)"), QStringLiteral("100")});
        choose(rig.commandsButtonMenu(), QStringLiteral("MIDI Note On"));
        ASSERT_TRUE(waitUntil([&] { return !midi->sentTo(synth).isEmpty(); }));
        EXPECT_EQ(midi->sentTo(synth), QList<QByteArray>{QByteArray("\x90\x3C\x64", 3)});
        EXPECT_EQ(answer.kinds, (QStringList{QStringLiteral("pop-up"), QStringLiteral("pop-up"), QStringLiteral("pop-up")}));
    }
    platform::midi::setBackend(nullptr);
}

TEST(DeviceCommands, MidiWithoutAMidiSystemIsNotShownConnectedAndSaysWhy)
{
    platform::midi::setBackend(std::make_shared<NoMidiSystem>());
    {
        DeviceWindow rig(QStringLiteral("<QMProtocolParserMIDI behavior=\"4\"><QMMIDIHardwareCommunicator sources=\"\" "
                                        "destinations=\"Synth\"/></QMProtocolParserMIDI>"));
        rig.select();
        QTest::mouseClick(rig.connectButton(), Qt::LeftButton);
        testsupport::pumpEvents(20);
        EXPECT_FALSE(rig.device()->isConnected());
        EXPECT_EQ(rig.connectButton()->text(), QStringLiteral("Connect"));
        // The red light and the reason beside the state, as for a link that would not open.
        EXPECT_TRUE(KLVDeviceListText::failed(*rig.device()));
        const QString detail = KLVDeviceListText::detail(*rig.device());
        EXPECT_TRUE(detail.endsWith(QStringLiteral("In: 0/0 Out: 0/0 · Not Connected: ") + NoMidiSystem::reason()))
            << detail.toStdString();

        // Its commands are greyed under its state: nothing can be chosen that would go nowhere.
        QMenu* menu = rig.commandsButtonMenu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(titles(menu).first(), QStringLiteral("Not Connected"));
        EXPECT_FALSE(item(menu, QStringLiteral("MIDI Note On"))->isEnabled());
        menu->close();
    }
    platform::midi::setBackend(nullptr);
}

TEST(DeviceCommands, NinePinControllerShowsTheDecksTimeAndItsButtonsDriveTheDeck)
{
    testsupport::PseudoTerminal line(true);
    ASSERT_TRUE(line.isValid());
    DeviceWindow rig(QStringLiteral("<QMProtocolParserSonyBVW behavior=\"1\">%1</QMProtocolParserSonyBVW>").arg(serialLink(line.slavePath())));
    rig.select();
    auto* view = qobject_cast<QMSonyBVWControlView*>(rig.window->controlView());
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    rig.connectDevice();

    // The deck on the far end: answers every time request with its time, keeps every other packet.
    QByteArray stream;
    QList<QByteArray> commands;
    QByteArray deckTime("\x04\x03\x02\x01", 4); // 01:02:03:04, BCD frames first
    const auto deck = [&] {
        stream += line.readAvailable();
        while (const std::optional<ninepin::Packet> p = ninepin::takePacket(stream)) {
            EXPECT_TRUE(p->checksumOk) << p->raw.toHex(' ').toStdString();
            if (p->raw == QByteArray("\x61\x0C\x01\x6E", 4)) {
                line.write(ninepin::packet(0x70, 0x04, deckTime));
            } else {
                commands << p->raw;
                line.write(ninepin::kAck);
            }
        }
    };
    ASSERT_TRUE(waitUntil([&] {
        deck();
        return view->timerField()->text() == QLatin1String("01:02:03:04");
    }));

    QPushButton* buttons[] = {view->playButton(), view->stopButton(), view->pauseButton(), view->rewindButton(), view->fastForwardButton()};
    for (QPushButton* button : buttons) {
        QTest::mouseClick(button, Qt::LeftButton);
        const qsizetype before = commands.size();
        ASSERT_TRUE(waitUntil([&] {
            deck();
            return commands.size() > before;
        })) << button->text().toStdString();
    }
    EXPECT_EQ(commands, (QList<QByteArray>{QByteArray("\x20\x01\x21", 3), QByteArray("\x20\x00\x20", 3), QByteArray("\x21\x13\x00\x34", 4),
                                           QByteArray("\x20\x20\x40", 3), QByteArray("\x20\x10\x30", 3)}));
    // The poll keeps the field current.
    deckTime = QByteArray("\x10\x00\x00\x10", 4);
    EXPECT_TRUE(waitUntil([&] {
        deck();
        return view->timerField()->text() == QLatin1String("10:00:00:10");
    })) << view->timerField()->text().toStdString();

    // The device's commands are also in its menu.
    EXPECT_EQ(titles(rig.rightClick()), (QStringList{QStringLiteral("Play"), QStringLiteral("Pause"), QStringLiteral("Stop"),
                                                     QStringLiteral("Fast Forward"), QStringLiteral("Rewind")}));
}

TEST(DeviceCommands, NinePinControllersSheetShowsItsRoleAndSavingKeepsIt)
{
    // The role menu of a 9-pin device offers Device alone; one set up in the device file to
    // drive a deck still shows what it is, and a change of name leaves it driving the deck.
    testsupport::PseudoTerminal line(true);
    ASSERT_TRUE(line.isValid());
    DeviceWindow rig(QStringLiteral("<QMProtocolParserSonyBVW behavior=\"1\">%1</QMProtocolParserSonyBVW>").arg(serialLink(line.slavePath())));
    rig.select();
    KLVDeviceConfigSheet* sheet = rig.window->configureAction(rig.device());
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    EXPECT_EQ(sheet->behaviorPopup()->currentText(), QStringLiteral("Controller"));
    EXPECT_EQ(sheet->hardwarePopup()->currentText(), QStringLiteral("Serial"));
    sheet->labelField()->selectAll();
    QTest::keyClicks(sheet->labelField(), QStringLiteral("Edit deck"));
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return !sheet->isVisible(); }));
    EXPECT_EQ(rig.device()->deviceLabel(), QStringLiteral("Edit deck"));
    ASSERT_NE(rig.device()->parser(), nullptr);
    EXPECT_EQ(rig.device()->parser()->behavior(), QMProtocolBehaviorController);
    EXPECT_NE(qobject_cast<QMSonyBVWControlView*>(rig.window->controlView()), nullptr);
}

TEST(DeviceCommands, DevicesThatSendNothingHaveNoMenuAndDeckEmulationNoControlView)
{
    testsupport::PseudoTerminal line(true);
    ASSERT_TRUE(line.isValid());
    DeviceWindow rig(QStringLiteral("<QMProtocolParserSonyBVW behavior=\"4\">%1</QMProtocolParserSonyBVW>").arg(serialLink(line.slavePath())));
    rig.select();
    EXPECT_EQ(rig.window->controlView(), nullptr);
    EXPECT_FALSE(rig.window->commandsButton()->isEnabled());
    EXPECT_EQ(rig.rightClick(), nullptr);
}
