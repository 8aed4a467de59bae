#include "ui/widgets/prefs/KLVSerialSetupView.h"

#include "comm/core/QMSerialHardwareCommunicator.h"
#include "ui/widgets/prefs/KLVSetupViewSupport.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>

using KLVSetupViewSupport::selectData;

KLVSerialSetupView::KLVSerialSetupView(QMSerialHardwareCommunicator& communicator, QWidget* parent)
    : QWidget(parent)
    , communicator_(&communicator)
    , interface_(new QComboBox(this))
    , speed_(new QComboBox(this))
    , dataBits_(new QComboBox(this))
    , parity_(new QComboBox(this))
    , stopBits_(new QComboBox(this))
    , hfcInput_(new QComboBox(this))
    , hfcOutput_(new QComboBox(this))
{
    auto* form = new QFormLayout(this);
    form->addRow(tr("Port:"), interface_);
    form->addRow(tr("Speed:"), speed_);
    form->addRow(tr("Data bits:"), dataBits_);
    form->addRow(tr("Parity:"), parity_);
    form->addRow(tr("Stop bits:"), stopBits_);
    form->addRow(tr("Input flow control:"), hfcInput_);
    form->addRow(tr("Output flow control:"), hfcOutput_);

    KLVSetupViewSupport::addInterfaces(interface_, QMSerialHardwareCommunicator::serialClass().availableInterfaces());
    for (int speed : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400})
        speed_->addItem(QString::number(speed), speed);
    for (int bits : {5, 6, 7, 8})
        dataBits_->addItem(QString::number(bits), bits);
    parity_->addItem(QStringLiteral("None"), 0);
    parity_->addItem(QStringLiteral("Odd"), 1);
    parity_->addItem(QStringLiteral("Even"), 2);
    for (int bits : {1, 2})
        stopBits_->addItem(QString::number(bits), bits);
    hfcInput_->addItem(QStringLiteral("None"), 0);
    hfcInput_->addItem(QStringLiteral("RTS"), 1);
    hfcInput_->addItem(QStringLiteral("DTR"), 2);
    hfcOutput_->addItem(QStringLiteral("None"), 0);
    hfcOutput_->addItem(QStringLiteral("CTS"), 3);
    hfcOutput_->addItem(QStringLiteral("DSR"), 4);
    hfcOutput_->addItem(QStringLiteral("Carrier detect"), 5);

    // Every choice goes straight to the communicator.
    const auto chosen = [this](QComboBox* popup, void (QMSerialHardwareCommunicator::*set)(int)) {
        connect(popup, &QComboBox::activated, this, [this, popup, set] {
            if (!refreshing_ && communicator_)
                (communicator_.data()->*set)(popup->currentData().toInt());
        });
    };
    chosen(speed_, &QMSerialHardwareCommunicator::setSpeed);
    chosen(dataBits_, &QMSerialHardwareCommunicator::setDataBits);
    chosen(parity_, &QMSerialHardwareCommunicator::setParity);
    chosen(stopBits_, &QMSerialHardwareCommunicator::setStopBits);
    chosen(hfcInput_, &QMSerialHardwareCommunicator::setHfci);
    chosen(hfcOutput_, &QMSerialHardwareCommunicator::setHfco);
    connect(interface_, &QComboBox::activated, this, [this] {
        if (!refreshing_ && communicator_)
            communicator_->interfaceMenuItemAction(interface_->currentData().toString());
    });
    refresh();
}

void KLVSerialSetupView::refresh()
{
    if (!communicator_)
        return;
    refreshing_ = true;
    communicator_->applyPreferredSettings();
    // A saved line the system does not list (unplugged, or a virtual port) is still shown, so the
    // sheet never looks as if the device had no port.
    const QString path = communicator_->devicePath();
    if (!path.isEmpty() && interface_->findData(path) < 0) {
        const QString name = path.startsWith(QLatin1String("/dev/")) ? path.mid(5) : QFileInfo(path).fileName();
        interface_->addItem(QStringLiteral("%1 (%2)").arg(name, path), path);
    }
    selectData(interface_, path);
    selectData(speed_, communicator_->speed());
    selectData(dataBits_, communicator_->dataBits());
    // Parity shows "None" for anything but odd and even, flow control "None" for other values.
    const int parity = communicator_->parity();
    selectData(parity_, parity == 1 || parity == 2 ? parity : 0);
    selectData(stopBits_, communicator_->stopBits());
    const int hfci = communicator_->hfci();
    selectData(hfcInput_, hfci == 1 || hfci == 2 ? hfci : 0);
    const int hfco = communicator_->hfco();
    selectData(hfcOutput_, hfco >= 3 && hfco <= 5 ? hfco : 0);
    refreshing_ = false;
}

void KLVSerialSetupView::showEvent(QShowEvent* event)
{
    refresh();
    QWidget::showEvent(event);
}
