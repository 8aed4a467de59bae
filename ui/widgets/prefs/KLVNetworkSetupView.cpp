#include "ui/widgets/prefs/KLVNetworkSetupView.h"

#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/QMUDPNetworkHardwareCommunicator.h"
#include "ui/widgets/prefs/KLVSetupViewSupport.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

using KLVSetupViewSupport::selectData;

namespace {

QString modeTitle(std::int64_t mode)
{
    switch (mode) {
    case QMSocketModeConnect:
        return QStringLiteral("Connect to");
    case QMSocketModeListen:
        return QStringLiteral("Listen");
    case QMSocketModeMulticastListen:
        return QStringLiteral("Listen to multicast group");
    case QMSocketModeBroadcast:
        return QStringLiteral("Broadcast");
    default:
        return QString::number(mode);
    }
}

} // namespace

KLVNetworkSetupView::KLVNetworkSetupView(QMNetworkHardwareCommunicator& communicator, QWidget* parent)
    : QWidget(parent)
    , communicator_(&communicator)
    , tcp_(dynamic_cast<QMTCPNetworkHardwareCommunicator*>(&communicator))
    , udp_(dynamic_cast<QMUDPNetworkHardwareCommunicator*>(&communicator))
    , mode_(new QComboBox(this))
    , interface_(new QComboBox(this))
    , address_(new QLineEdit(this))
    , port_(new QLineEdit(this))
    , go_(new QPushButton(tr("Connect"), this))
{
    auto* form = new QFormLayout(this);
    form->addRow(tr("Mode:"), mode_);
    form->addRow(tr("Interface:"), interface_);
    form->addRow(tr("Address:"), address_);
    form->addRow(tr("Port:"), port_);
    form->addRow(QString(), go_);
    mode_->setPlaceholderText(tr("Choose…"));

    interface_->addItem(QStringLiteral("Any"), QString());
    KLVSetupViewSupport::addInterfaces(interface_, QMNetworkHardwareCommunicator::networkClass().availableInterfaces());
    connect(mode_, &QComboBox::activated, this, [this] {
        if (!refreshing_)
            modeChosen(std::int64_t(mode_->currentData().toLongLong()));
    });
    connect(interface_, &QComboBox::activated, this, [this] {
        if (!refreshing_ && communicator_)
            communicator_->interfaceMenuItemAction(interface_->currentData().toString());
    });
    connect(address_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (communicator_)
            communicator_->setHostname(text.trimmed());
    });
    // Whatever is typed goes to the communicator; the sheet refuses a port that cannot be used.
    connect(port_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (communicator_)
            communicator_->setPortNum(text.trimmed().toULongLong());
    });
    // Opens the link with what is set now, so the user can try it before saving.
    connect(go_, &QPushButton::clicked, this, [this] {
        if (tcp_)
            tcp_->goButtonAction();
        else if (udp_)
            udp_->goButtonAction();
        updateGoButton();
    });
    connect(&communicator, &QMHardwareCommunicator::activeChanged, this, &KLVNetworkSetupView::updateGoButton,
            Qt::QueuedConnection);
    refresh();
}

QList<std::int64_t> KLVNetworkSetupView::offeredModes() const
{
    if (tcp_)
        return tcp_->offeredSocketModes();
    if (udp_)
        return udp_->offeredSocketModes();
    return {};
}

std::int64_t KLVNetworkSetupView::socketMode() const
{
    return tcp_ ? tcp_->socketMode() : udp_ ? udp_->socketMode() : 0;
}

void KLVNetworkSetupView::modeChosen(std::int64_t mode)
{
    if (!communicator_)
        return;
    if (tcp_)
        tcp_->actionMenuItemAction(mode);
    else if (udp_)
        udp_->actionMenuItemAction(mode);
    refresh();
}

void KLVNetworkSetupView::updateAddressState()
{
    // A listening link has no peer address.
    address_->setEnabled(socketMode() != QMSocketModeListen);
    // UDP binds to an interface only where it receives; the other modes send through any.
    if (udp_) {
        const bool binds = socketMode() == QMSocketModeListen || socketMode() == QMSocketModeMulticastListen;
        if (!binds)
            interface_->setCurrentIndex(0);
        interface_->setEnabled(binds);
    }
}

void KLVNetworkSetupView::updateGoButton()
{
    go_->setEnabled(communicator_ && !communicator_->isActive() && socketMode() != 0);
}

void KLVNetworkSetupView::refresh()
{
    if (!communicator_)
        return;
    refreshing_ = true;
    if (tcp_)
        tcp_->prepareSetup();
    else if (udp_)
        udp_->prepareSetup();
    mode_->clear();
    for (std::int64_t mode : offeredModes())
        mode_->addItem(modeTitle(mode), qint64(mode));
    selectData(mode_, qint64(socketMode()));
    mode_->setEnabled(mode_->count() > 1);
    selectData(interface_, communicator_->interfaceString());
    if (interface_->currentIndex() < 0)
        interface_->setCurrentIndex(0);
    address_->setText(communicator_->hostname());
    port_->setText(communicator_->portNum() ? QString::number(communicator_->portNum()) : QString());
    updateAddressState();
    updateGoButton();
    refreshing_ = false;
}

void KLVNetworkSetupView::showEvent(QShowEvent* event)
{
    refresh();
    QWidget::showEvent(event);
}
