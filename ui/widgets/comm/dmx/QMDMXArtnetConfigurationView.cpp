#include "ui/widgets/comm/dmx/QMDMXArtnetConfigurationView.h"

#include "comm/showcontrol/dmx/QMDMXArtnetHardwareCommunicator.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace {

QComboBox* numberPopup(int last, QWidget* parent)
{
    auto* popup = new QComboBox(parent);
    for (int tag = 0; tag <= last; ++tag)
        popup->addItem(QString::number(tag), tag);
    return popup;
}

} // namespace

QMDMXArtnetConfigurationView::QMDMXArtnetConfigurationView(QMDMXArtnetHardwareCommunicator& communicator, QWidget* parent)
    : QWidget(parent)
    , communicator_(communicator)
    , interfacePopup_(new QComboBox(this))
    , universePopup_(numberPopup(QMDMXArtnetHardwareCommunicator::kMaxUniverse, this))
    , subnetPopup_(numberPopup(QMDMXArtnetHardwareCommunicator::kMaxSubnet, this))
    , netField_(new QSpinBox(this))
    , portField_(new QLabel(this))
    , addressField_(new QLabel(this))
{
    netField_->setRange(0, QMDMXArtnetHardwareCommunicator::kMaxNet);
    auto* connectButton = new QPushButton(tr("Connect"), this);
    auto* form = new QFormLayout(this);
    form->addRow(tr("Interface:"), interfacePopup_);
    form->addRow(tr("Address:"), addressField_);
    form->addRow(tr("Net:"), netField_);
    form->addRow(tr("Sub-Net:"), subnetPopup_);
    form->addRow(tr("Universe:"), universePopup_);
    form->addRow(tr("Port:"), portField_);
    form->addRow(connectButton);

    connect(interfacePopup_, &QComboBox::activated, this, [this](int index) {
        communicator_.interfaceMenuItemAction(interfacePopup_->itemData(index).toString());
    });
    connect(universePopup_, &QComboBox::activated, this, [this](int index) {
        communicator_.universeAction(universePopup_->itemData(index).toInt());
    });
    connect(subnetPopup_, &QComboBox::activated, this, [this](int index) {
        communicator_.subnetAction(subnetPopup_->itemData(index).toInt());
    });
    connect(netField_, &QSpinBox::valueChanged, this, [this](int value) {
        if (!refreshing_)
            communicator_.netAction(value);
    });
    connect(connectButton, &QPushButton::clicked, this, [this] { communicator_.connectAction(); });
    connect(&communicator_, &QMDMXArtnetHardwareCommunicator::setupChanged, this, &QMDMXArtnetConfigurationView::refresh,
            Qt::QueuedConnection);
    refresh();
}

void QMDMXArtnetConfigurationView::refresh()
{
    const QMDMXArtnetHardwareCommunicator::SetupState state = communicator_.setupState();
    refreshing_ = true;
    const QSignalBlocker blockInterface(interfacePopup_);
    interfacePopup_->clear();
    for (const QString& name : state.interfaceItems)
        interfacePopup_->addItem(name, name);
    interfacePopup_->setCurrentIndex(interfacePopup_->findData(state.selectedInterface));
    if (state.universe >= 0)
        universePopup_->setCurrentIndex(universePopup_->findData(int(state.universe)));
    if (state.subnet >= 0)
        subnetPopup_->setCurrentIndex(subnetPopup_->findData(int(state.subnet)));
    if (!state.netField.isEmpty())
        netField_->setValue(state.netField.toInt());
    portField_->setText(state.portField);
    addressField_->setText(state.addressField);
    refreshing_ = false;
}
