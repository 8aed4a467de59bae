// The preferences window's widgets on the offscreen platform: setup views that show and change
// their link's settings, the configuration sheet over a new device, the window's device list and
// the parameter dialog.
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"
#include "comm/showcontrol/dmx/QMDMXArtnetHardwareCommunicator.h"
#include "comm/showcontrol/midi/QMMIDIHardwareCommunicator.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/support/DeviceListRig.h"
#include "tests/ui/widgets/prefs/SheetDriving.h"
#include "ui/logic/prefs/KLVDeviceConfiguration.h"
#include "ui/widgets/comm/dmx/QMDMXArtnetConfigurationView.h"
#include "ui/widgets/comm/midi/QMCoreMIDIConfigurationView.h"
#include "ui/widgets/prefs/KLVDeviceConfigSheet.h"
#include "ui/widgets/prefs/KLVNetworkSetupView.h"
#include "ui/widgets/prefs/KLVParamConfigDialog.h"
#include "ui/widgets/prefs/KLVPreferencesController.h"
#include "ui/widgets/prefs/KLVSerialSetupView.h"
#include "ui/widgets/prefs/KLVSetupViews.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using prefstest::choose;

namespace {

struct Rig : testsupport::DeviceListRig {
    Rig()
        : DeviceListRig((KLVSetupViews::install(), QMProtocolParserVDCP::registerParserClass(),
                         QList<const QMProtocolParserClass*>{&QMProtocolParserVDCP::parserClassObject()}))
    {
    }
};

} // namespace

TEST(SetupViews, SerialAndNetworkViewsShowAndChangeTheirLinksSettings)
{
    KLVSetupViews::install();
    auto serial = std::make_shared<QMSerialHardwareCommunicator>();
    serial->setSpeed(38400);
    serial->setDataBits(8);
    serial->setParity(1);
    serial->setStopBits(2);
    serial->setHfci(1);
    serial->setHfco(7); // not a flow control: shown as none
    auto* sv = qobject_cast<KLVSerialSetupView*>(serial->setupView());
    ASSERT_NE(sv, nullptr);
    EXPECT_EQ(serial->setupView(), sv); // built once
    EXPECT_EQ(sv->speedPopup()->currentText(), QStringLiteral("38400"));
    EXPECT_EQ(sv->dataBitsPopup()->currentText(), QStringLiteral("8"));
    EXPECT_EQ(sv->parityPopup()->currentText(), QStringLiteral("Odd"));
    EXPECT_EQ(sv->stopBitsPopup()->currentText(), QStringLiteral("2"));
    EXPECT_EQ(sv->hfcInputPopup()->currentData().toInt(), 1);
    EXPECT_EQ(sv->hfcOutputPopup()->currentData().toInt(), 0);
    choose(sv->speedPopup(), 9600);
    choose(sv->parityPopup(), 2);
    choose(sv->hfcOutputPopup(), 4);
    EXPECT_EQ(serial->speed(), 9600);
    EXPECT_EQ(serial->parity(), 2);
    EXPECT_EQ(serial->hfco(), 4);

    auto tcp = std::make_shared<QMTCPNetworkHardwareCommunicator>();
    tcp->setSocketMode(QMSocketModeConnect);
    tcp->setHostname(QStringLiteral("10.0.0.7"));
    tcp->setPortNum(5250);
    auto* nv = qobject_cast<KLVNetworkSetupView*>(tcp->setupView());
    ASSERT_NE(nv, nullptr);
    EXPECT_EQ(nv->addressField()->text(), QStringLiteral("10.0.0.7"));
    EXPECT_EQ(nv->portField()->text(), QStringLiteral("5250"));
    EXPECT_TRUE(nv->addressField()->isEnabled());
    nv->portField()->clear();
    QTest::keyClicks(nv->portField(), QStringLiteral("7001"));
    EXPECT_EQ(tcp->portNum(), 7001u);
    nv->addressField()->clear();
    QTest::keyClicks(nv->addressField(), QStringLiteral(" 127.0.0.1 "));
    EXPECT_EQ(tcp->hostname(), QStringLiteral("127.0.0.1"));
    choose(nv->modePopup(), qint64(QMSocketModeListen));
    EXPECT_EQ(tcp->socketMode(), QMSocketModeListen);
    EXPECT_TRUE(tcp->hostname().isEmpty()); // a listener has no peer
    EXPECT_FALSE(nv->addressField()->isEnabled());

    // Art-Net and MIDI links get their own views; every view goes with its link.
    auto artnet = std::make_shared<QMDMXArtnetHardwareCommunicator>();
    QPointer<QWidget> av = artnet->setupView();
    EXPECT_TRUE(qobject_cast<QMDMXArtnetConfigurationView*>(av.data()));
    auto midi = std::make_shared<QMMIDIHardwareCommunicator>();
    QPointer<QWidget> mv = midi->setupView();
    EXPECT_TRUE(qobject_cast<QMCoreMIDIConfigurationView*>(mv.data()));
    QPointer<QWidget> svp = sv;
    serial.reset();
    artnet.reset();
    midi.reset();
    testsupport::pumpEvents(20);
    EXPECT_TRUE(svp.isNull());
    EXPECT_TRUE(av.isNull());
    EXPECT_TRUE(mv.isNull());
}

TEST(ConfigSheet, NewDeviceShowsItsLinkAndRefusesABadPortInTheSheet)
{
    Rig rig;
    QMCommModuleConnectionWrapper* device = rig.manager->addDevice(QMProtocolParserVDCP::parserClassObject());
    ASSERT_NE(device, nullptr);
    auto sheet = std::make_unique<KLVDeviceConfigSheet>(*device, *rig.manager);
    EXPECT_EQ(sheet->hardwarePopup()->currentText(), QStringLiteral("Network (TCP)"));
    EXPECT_EQ(sheet->behaviorPopup()->currentData().toInt(), KLVDeviceConfiguration::kBehaviorDevice);
    EXPECT_EQ(sheet->channelPopup()->count(), 5);
    auto* view = qobject_cast<KLVNetworkSetupView*>(sheet->installedConfigView());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->portField()->text(), QStringLiteral("50103"));

    view->portField()->clear();
    QTest::keyClicks(view->portField(), QStringLiteral("0"));
    sheet->saveAction();
    EXPECT_FALSE(sheet->messageLabel()->isHidden());
    EXPECT_TRUE(sheet->messageLabel()->text().contains(QStringLiteral("65535")));
    EXPECT_EQ(sheet->result(), 0);

    // Switching the hardware shows the new link's view; the sheet only borrows views.
    sheet->hardwarePopup()->setCurrentIndex(1);
    emit sheet->hardwarePopup()->activated(1);
    EXPECT_TRUE(qobject_cast<KLVSerialSetupView*>(sheet->installedConfigView()));
    QPointer<QWidget> serialView = sheet->installedConfigView();
    sheet.reset();
    ASSERT_FALSE(serialView.isNull());
    EXPECT_EQ(device->parser()->hardwareCommunicator()->setupView(), serialView.data());
}

TEST(PreferencesWindow, OffersTheAddableDevicesAndOpensTheSheetOfOneJustAdded)
{
    Rig rig;
    KLVPreferencesController window(*rig.manager, rig.controller);
    ASSERT_EQ(window.addPopupButton()->count(), 2);
    EXPECT_EQ(window.addPopupButton()->itemText(1), QStringLiteral("VDCP"));
    window.toolbarAction(2);
    EXPECT_EQ(window.mainTabView()->currentWidget()->objectName(), QStringLiteral("communications"));
    window.toolbarAction(7);
    EXPECT_EQ(window.mainTabView()->currentIndex(), 1);
    window.toolbarAction(1);
    EXPECT_EQ(window.mainTabView()->currentWidget()->objectName(), QStringLiteral("general"));

    window.addPopupButton()->setCurrentIndex(1);
    emit window.addPopupButton()->activated(1);
    ASSERT_TRUE(testsupport::waitUntil([&] { return window.openSheet() != nullptr; }));
    EXPECT_EQ(window.deviceList()->model()->rowCount(), 1);
    EXPECT_EQ(window.addPopupButton()->currentIndex(), 0);
    QMCommModuleConnectionWrapper* device = rig.manager->connectionWrappersArrayController().at(0);
    window.closeCommDeviceConfig(device);
    EXPECT_EQ(window.openSheet(), nullptr);
    EXPECT_EQ(window.deviceList()->model()->rowCount(), 0);
}

TEST(ParamConfigDialog, AcceptedValuesComeBackAndCancelGivesNothing)
{
    const QVariantMap descriptor{
        {QMProtocolCommandKeyDisplayName, QStringLiteral("Preset")},
        {QMProtocolCommandKeyParams,
         QVariantList{QVariantMap{{QMProtocolCommandKeyParamName, QStringLiteral("Name")}},
                      QVariantMap{{QMProtocolCommandKeyParamName, QStringLiteral("Side")},
                                  {QMProtocolCommandKeyParamPossibleValues, QStringList{"L", "R"}}}}}};
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<KLVParamConfigDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Preset"));
        QTest::keyClicks(qobject_cast<QLineEdit*>(dialog->valueWidget(0)), QStringLiteral("clip 7"));
        qobject_cast<QComboBox*>(dialog->valueWidget(1))->setCurrentIndex(1);
        dialog->accept();
    });
    const auto chosen = KLVParamConfigDialog::runModalParamConfigSessionForCommand(descriptor);
    ASSERT_TRUE(chosen.has_value());
    const QVariantList params = chosen->value(QMProtocolCommandKeyParams).toList();
    EXPECT_EQ(params[0].toMap().value(QMProtocolCommandKeyParamValue).toString(), QStringLiteral("clip 7"));
    EXPECT_EQ(params[1].toMap().value(QMProtocolCommandKeyParamValue).toString(), QStringLiteral("R"));

    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    EXPECT_FALSE(KLVParamConfigDialog::runModalParamConfigSessionForCommand(descriptor).has_value());
}

TEST(ParamConfigDialog, OpensWideEnoughToShowTheCommandItNames)
{
    // The title bar names the command, and the dialog names it whole too, whatever the window
    // manager does to the title.
    const QString title = QStringLiteral("Off then On with Interval, Recall Preset");
    const QVariantMap descriptor{{QMProtocolCommandKeyDisplayName, title},
                                 {QMProtocolCommandKeyParams,
                                  QVariantList{QVariantMap{{QMProtocolCommandKeyParamName, QStringLiteral("Interval")}}}}};
    KLVParamConfigDialog dialog(descriptor);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QFont bold = dialog.font();
    bold.setBold(true);
    EXPECT_GT(dialog.width(), QFontMetrics(bold).horizontalAdvance(title));
    QLabel* name = dialog.commandName();
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(name->isVisible());
    EXPECT_EQ(name->text(), title);
    EXPECT_GE(name->width(), QFontMetrics(name->font()).horizontalAdvance(title));
    EXPECT_TRUE(dialog.rect().contains(name->geometry()));
}
