// The devices window where an operator leaves things half done: a sheet dismissed after changes,
// a MIDI or Art-Net sheet opened for the first time, a device removed, a link that would not open.
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"
#include "comm/showcontrol/dmx/QMDMXArtnetHardwareCommunicator.h"
#include "comm/showcontrol/dmx/QMDMXModule.h"
#include "comm/showcontrol/dmx/QMProtocolParserDMX.h"
#include "comm/showcontrol/dmxnet/FWNNetworkInterface.h"
#include "comm/showcontrol/dmxnet/FWNSockAddress.h"
#include "comm/showcontrol/midi/QMProtocolParserMIDI.h"
#include "platform/midi/LoopbackMidiBackend.h"
#include "tests/support/BoundSockets.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/ui/support/DeviceListRig.h"
#include "tests/ui/widgets/prefs/SheetDriving.h"
#include "ui/logic/prefs/KLVDeviceConfiguration.h"
#include "ui/logic/prefs/KLVDeviceListText.h"
#include "ui/widgets/comm/dmx/QMDMXArtnetConfigurationView.h"
#include "ui/widgets/comm/midi/QMCoreMIDIConfigurationView.h"
#include "ui/widgets/prefs/KLVDeviceConfigSheet.h"
#include "ui/widgets/prefs/KLVNetworkSetupView.h"
#include "ui/widgets/prefs/KLVPreferencesController.h"
#include "ui/widgets/prefs/KLVSetupViews.h"

#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

using namespace prefstest;

namespace {

QList<const QMProtocolParserClass*> parsers()
{
    KLVSetupViews::install();
    QMProtocolParserVDCP::registerParserClass();
    QMRegisterDMXClasses();
    QMRegisterMIDIClasses();
    return {&QMProtocolParserVDCP::parserClassObject(), &QMProtocolParserDMX::dmxClass(), &QMProtocolParserMIDI::midiClass()};
}

struct Rig : testsupport::DeviceListRig {
    Rig() : DeviceListRig(parsers()) { openWindow(); }

    void openWindow()
    {
        window = std::make_unique<KLVPreferencesController>(*manager, controller);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void restart()
    {
        window.reset();
        manager.reset();
        manager = freshManager();
        openWindow();
    }
    // A device of the class, whose sheet opens by itself.
    KLVDeviceConfigSheet* add(const QMProtocolParserClass& parserClass)
    {
        QMCommModuleConnectionWrapper* w = manager->addDevice(parserClass);
        EXPECT_NE(w, nullptr);
        EXPECT_TRUE(testsupport::waitUntil([&] { return sheetOf(w) != nullptr; }));
        return sheetOf(w);
    }
    KLVDeviceConfigSheet* sheetOf(const QMCommModuleConnectionWrapper* w) const
    {
        KLVDeviceConfigSheet* sheet = window->openSheet();
        return sheet && &sheet->configuration().wrapper() == w ? sheet : nullptr;
    }
    QMCommModuleConnectionWrapper* device(int row) const { return manager->connectionWrappersArrayController().at(row); }
    int count() const { return manager->connectionWrappersArrayController().rowCount(); }
    QPushButton* button(const QString& text) const
    {
        for (QPushButton* b : window->findChildren<QPushButton*>()) {
            if (b->text() == text && b->window() == window.get())
                return b;
        }
        ADD_FAILURE() << "no button " << text.toStdString();
        return nullptr;
    }

    std::unique_ptr<KLVPreferencesController> window;
};

QMTCPNetworkHardwareCommunicator* tcpOf(const QMCommModuleConnectionWrapper* w)
{
    return dynamic_cast<QMTCPNetworkHardwareCommunicator*>(w->parser()->hardwareCommunicator().get());
}

// Sets a VDCP device to listen on lo at the port, connected, and saves it.
void listenOnLoopback(KLVDeviceConfigSheet* sheet, std::uint16_t port)
{
    auto* view = qobject_cast<KLVNetworkSetupView*>(sheet->installedConfigView());
    ASSERT_NE(view, nullptr);
    choose(view->interfacePopup(), QStringLiteral("lo"));
    typeInto(view->portField(), QString::number(port));
    tick(sheet->reconnectButton());
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
}

FWNInterfaceAddressEntry interfaceEntry(const char* name, std::uint32_t flags, const char* address, const char* broadcast)
{
    FWNInterfaceAddressEntry e;
    e.name = QString::fromLatin1(name);
    e.flags = flags;
    e.address = FWNSockAddressIPv4::sockAddressWithAddressString(QString::fromLatin1(address), 0)->data();
    if (broadcast)
        e.broadcast = FWNSockAddressIPv4::sockAddressWithAddressString(QString::fromLatin1(broadcast), 0)->data();
    return e;
}

} // namespace

TEST(DeviceSheets, DismissingASheetLeavesTheDeviceAsItWasAndItsLinkRunning)
{
    Rig rig;
    const std::uint16_t port = testsupport::freeTcpPort();
    const std::uint16_t otherPort = testsupport::freeTcpPort();
    ASSERT_NE(port, 0);
    KLVDeviceConfigSheet* sheet = rig.add(QMProtocolParserVDCP::parserClassObject());
    ASSERT_NE(sheet, nullptr);
    typeInto(sheet->labelField(), QStringLiteral("Automation"));
    listenOnLoopback(sheet, port);
    QMCommModuleConnectionWrapper* device = rig.device(0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return device->isConnected(); }));
    const QByteArray saved = rig.deviceFile();
    ASSERT_TRUE(saved.contains(QStringLiteral("port=\"%1\"").arg(port).toUtf8())) << saved.toStdString();
    QTcpSocket automation;
    automation.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(automation.waitForConnected(5000));
    ASSERT_TRUE(testsupport::waitUntil([&] { return tcpOf(device)->connectionCount() == 1; }));

    // Escape after changing the label, the port and the reconnect flag.
    sheet = rig.window->configureAction(device);
    auto* view = qobject_cast<KLVNetworkSetupView*>(sheet->installedConfigView());
    ASSERT_NE(view, nullptr);
    typeInto(sheet->labelField(), QStringLiteral("Scratch"));
    typeInto(view->portField(), QString::number(otherPort));
    click(sheet->reconnectButton());
    QTest::keyClick(sheet, Qt::Key_Escape);
    ASSERT_TRUE(testsupport::waitUntil([&] { return rig.window->openSheet() == nullptr; }));
    EXPECT_EQ(device->deviceLabel(), QStringLiteral("Automation"));
    EXPECT_TRUE(device->reconnect());
    EXPECT_EQ(tcpOf(device)->portNum(), port);
    EXPECT_TRUE(device->isConnected());
    EXPECT_EQ(tcpOf(device)->connectionCount(), 1) << "the open link was not touched";
    EXPECT_EQ(automation.state(), QAbstractSocket::ConnectedState);

    // The close box after choosing another kind of link: the device has its own one back, open.
    sheet = rig.window->configureAction(device);
    choose(sheet->hardwarePopup(), QStringLiteral("Serial"), Qt::DisplayRole);
    ASSERT_EQ(tcpOf(device), nullptr);
    sheet->close();
    ASSERT_TRUE(testsupport::waitUntil([&] { return rig.window->openSheet() == nullptr; }));
    ASSERT_NE(tcpOf(device), nullptr);
    EXPECT_EQ(tcpOf(device)->portNum(), port);
    ASSERT_TRUE(testsupport::waitUntil([&] { return device->isConnected(); }));
    EXPECT_EQ(testsupport::boundAddresses(testsupport::SocketKind::TcpListening, port), QStringList{"127.0.0.1"});

    // Whatever the next save writes, it is what the device runs with; the sheet shows it again.
    rig.manager->serializeDevices();
    EXPECT_EQ(rig.deviceFile(), saved);
    sheet = rig.window->configureAction(device);
    view = qobject_cast<KLVNetworkSetupView*>(sheet->installedConfigView());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->portField()->text(), QString::number(port));
    EXPECT_EQ(sheet->labelField()->text(), QStringLiteral("Automation"));

    // A link opened from the setup view with the changed settings is closed again.
    QMCommModuleConnectionWrapper* spare = nullptr;
    sheet->reject();
    KLVDeviceConfigSheet* spareSheet = rig.add(QMProtocolParserVDCP::parserClassObject());
    ASSERT_NE(spareSheet, nullptr);
    spare = rig.device(1);
    auto* spareView = qobject_cast<KLVNetworkSetupView*>(spareSheet->installedConfigView());
    ASSERT_NE(spareView, nullptr);
    choose(spareView->interfacePopup(), QStringLiteral("lo"));
    typeInto(spareView->portField(), QString::number(otherPort));
    QTest::mouseClick(spareView->goButton(), Qt::LeftButton);
    ASSERT_TRUE(testsupport::waitUntil([&] { return spare->isConnected(); }));
    QTest::keyClick(spareSheet, Qt::Key_Escape);
    EXPECT_FALSE(spare->isConnected());
    EXPECT_TRUE(testsupport::boundAddresses(testsupport::SocketKind::TcpListening, otherPort).isEmpty());
    EXPECT_NE(tcpOf(spare)->portNum(), otherPort);
}

TEST(DeviceSheets, TheMidiSheetShowsItsRowsTheFirstTimeItOpens)
{
    auto midi = std::make_shared<platform::midi::LoopbackMidiBackend>();
    platform::midi::setBackend(midi);
    midi->addSource(QStringLiteral("Pads"));
    {
        Rig rig;
        KLVDeviceConfigSheet* sheet = rig.add(QMProtocolParserMIDI::midiClass());
        ASSERT_NE(sheet, nullptr);
        auto* view = qobject_cast<QMCoreMIDIConfigurationView*>(sheet->installedConfigView());
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(testsupport::waitUntil([&] { return view->destinationBoxes().size() == 1 && view->sourceBoxes().size() == 1; }));
        testsupport::pumpEvents(20);
        // On screen, not merely made: the program's own output, always ticked, and the source.
        QCheckBox* out = view->destinationBoxes().front();
        EXPECT_TRUE(out->text().startsWith(QStringLiteral("QM MIDI Out")));
        EXPECT_TRUE(out->isChecked());
        for (QCheckBox* box : {out, view->sourceBoxes().front()}) {
            EXPECT_TRUE(box->isVisible()) << box->text().toStdString();
            EXPECT_FALSE(box->visibleRegion().isEmpty()) << box->text().toStdString() << " is not on screen";
            EXPECT_TRUE(sheet->rect().contains(QRect(box->mapTo(sheet, QPoint(0, 0)), box->size()))) << box->text().toStdString();
        }
        sheet->reject();
    }
    platform::midi::setBackend(nullptr);
}

TEST(DeviceSheets, ArtNetOffersEveryInterfaceAndShowsTheSavedOne)
{
    FWNNetworkInterfaceManager::setProvider([] {
        return FWNNetworkInterfaceManager::Entries{
            interfaceEntry("lo", FWNNetworkInterface::kFlagUp | FWNNetworkInterface::kFlagLoopback, "127.0.0.1", nullptr),
            interfaceEntry("eth0", FWNNetworkInterface::kFlagUp | FWNNetworkInterface::kFlagBroadcast, "10.1.2.3", "10.255.255.255"),
        };
    });
    {
        Rig rig;
        KLVDeviceConfigSheet* sheet = rig.add(QMProtocolParserDMX::dmxClass());
        ASSERT_NE(sheet, nullptr);
        auto* view = qobject_cast<QMDMXArtnetConfigurationView*>(sheet->installedConfigView());
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(testsupport::waitUntil([&] { return view->interfacePopup()->count() == 2; }));
        choose(view->interfacePopup(), QStringLiteral("lo"));
        QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
        EXPECT_TRUE(rig.deviceFile().contains("interface=\"lo\"")) << rig.deviceFile().toStdString();

        rig.restart();
        sheet = rig.window->configureAction(rig.device(0));
        view = qobject_cast<QMDMXArtnetConfigurationView*>(sheet->installedConfigView());
        ASSERT_NE(view, nullptr);
        EXPECT_TRUE(testsupport::waitUntil([&] { return view->interfacePopup()->currentText() == QStringLiteral("lo"); }))
            << view->interfacePopup()->currentText().toStdString();
        EXPECT_EQ(view->interfacePopup()->count(), 2);
        QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
        EXPECT_TRUE(rig.deviceFile().contains("interface=\"lo\"")) << rig.deviceFile().toStdString();
    }
    FWNNetworkInterfaceManager::setProvider(nullptr);
}

TEST(PreferencesWindow, AfterRemoveTheNextDeviceIsSelectedAndItsButtonsWork)
{
    Rig rig;
    for (int i = 0; i < 3; ++i) {
        KLVDeviceConfigSheet* sheet = rig.add(QMProtocolParserVDCP::parserClassObject());
        ASSERT_NE(sheet, nullptr);
        typeInto(sheet->labelField(), QStringLiteral("Deck %1").arg(i));
        if (sheet->reconnectButton()->isChecked())
            click(sheet->reconnectButton()); // three decks on one port would not all open
        QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
        ASSERT_TRUE(testsupport::waitUntil([&] { return rig.window->openSheet() == nullptr; }));
    }
    QListView* list = rig.window->deviceList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
    ASSERT_EQ(rig.manager->selectedConnectionWrapper(), rig.device(1));

    QTest::mouseClick(rig.button(QStringLiteral("Remove")), Qt::LeftButton);
    ASSERT_EQ(rig.count(), 2);
    EXPECT_EQ(KLVDeviceListText::title(*rig.device(1)), QStringLiteral("Deck 2"));
    EXPECT_EQ(rig.manager->selectedConnectionWrapper(), rig.device(1)) << "the next device is the selected one";
    EXPECT_EQ(list->selectionModel()->selectedRows(), QModelIndexList{list->model()->index(1, 0)});
    for (const QString& name : {QStringLiteral("Configure…"), QStringLiteral("Connect"), QStringLiteral("Remove")})
        EXPECT_TRUE(rig.button(name)->isEnabled()) << name.toStdString();

    // The last one removed: the one before it takes its place.
    QTest::mouseClick(rig.button(QStringLiteral("Remove")), Qt::LeftButton);
    ASSERT_EQ(rig.count(), 1);
    EXPECT_EQ(rig.manager->selectedConnectionWrapper(), rig.device(0));
    QTest::mouseClick(rig.button(QStringLiteral("Configure…")), Qt::LeftButton);
    ASSERT_NE(rig.window->openSheet(), nullptr);
    EXPECT_EQ(&rig.window->openSheet()->configuration().wrapper(), rig.device(0));
    rig.window->openSheet()->reject();
    QTest::mouseClick(rig.button(QStringLiteral("Remove")), Qt::LeftButton);
    EXPECT_EQ(rig.count(), 0);
    EXPECT_FALSE(rig.button(QStringLiteral("Remove"))->isEnabled());
}

TEST(PreferencesWindow, ALinkThatWouldNotOpenSaysWhyBesideItsState)
{
    Rig rig;
    QTcpServer occupier;
    ASSERT_TRUE(occupier.listen(QHostAddress::LocalHost, 0));
    KLVDeviceConfigSheet* sheet = rig.add(QMProtocolParserVDCP::parserClassObject());
    ASSERT_NE(sheet, nullptr);
    listenOnLoopback(sheet, occupier.serverPort());
    QMCommModuleConnectionWrapper* device = rig.device(0);
    EXPECT_FALSE(device->isConnected());
    const QString reason = tcpOf(device)->failureReason();
    EXPECT_TRUE(reason.contains(QStringLiteral("in use"))) << reason.toStdString();
    EXPECT_TRUE(KLVDeviceListText::detail(*device).endsWith(QStringLiteral(" · Not Connected: ") + reason))
        << KLVDeviceListText::detail(*device).toStdString();
    EXPECT_TRUE(KLVDeviceListText::failed(*device));

    // Once it opens, the reason goes.
    occupier.close();
    device->connectAction();
    ASSERT_TRUE(device->isConnected());
    EXPECT_FALSE(KLVDeviceListText::failed(*device));
    EXPECT_TRUE(KLVDeviceListText::detail(*device).endsWith(QStringLiteral(" · Listening")));
}
