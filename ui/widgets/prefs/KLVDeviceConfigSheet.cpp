#include "ui/widgets/prefs/KLVDeviceConfigSheet.h"

#include "comm/core/QMHardwareCommunicator.h"
#include "comm/core/interpreter/QMCommModuleConnectionWrapper.h"
#include "ui/logic/prefs/KLVDeviceConfiguration.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

KLVDeviceConfigSheet::KLVDeviceConfigSheet(QMCommModuleConnectionWrapper& wrapper,
                                           QMCommModuleConnectionManager& manager, QWidget* parent)
    : QDialog(parent)
    , wrapper_(wrapper)
    , configuration_(new KLVDeviceConfiguration(wrapper, manager, this))
    , label_(new QLineEdit(this))
    , hardware_(new QComboBox(this))
    , behavior_(new QComboBox(this))
    , channel_(new QComboBox(this))
    , reconnect_(new QCheckBox(tr("Reconnect at start"), this))
    , viewHost_(new QVBoxLayout)
    , message_(new QLabel(this))
    , save_(new QPushButton(tr("Save"), this))
{
    setWindowTitle(wrapper.deviceProtocol());
    if (parent)
        setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(tr("Name:"), label_);
    form->addRow(tr("Hardware:"), hardware_);
    form->addRow(tr("Behaviour:"), behavior_);
    form->addRow(tr("Channel:"), channel_);
    layout->addLayout(form);
    // The link's setup view sits centred between the device's settings and the buttons; the sheet
    // is as wide as the wider of the two and grows by the view's height.
    layout->addLayout(viewHost_);
    message_->setWordWrap(true);
    message_->setStyleSheet(QStringLiteral("color: #d03030"));
    message_->hide();
    layout->addWidget(message_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(reconnect_);
    buttons->addStretch();
    buttons->addWidget(save_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    save_->setDefault(true);

    label_->setText(wrapper.deviceLabel());
    reconnect_->setChecked(wrapper.reconnect());
    channel_->addItems(configuration_->channelNames());
    channel_->setCurrentIndex(int(wrapper.klvChannelIndex()));
    connect(label_, &QLineEdit::textEdited, this, [this](const QString& text) { wrapper_.setDeviceLabel(text); });
    connect(reconnect_, &QCheckBox::toggled, this, [this](bool on) { wrapper_.setReconnect(on); });
    connect(channel_, &QComboBox::activated, this, [this](int index) { wrapper_.setKlvChannelIndex(index); });
    connect(hardware_, &QComboBox::activated, this, [this](int index) {
        if (!filling_)
            configuration_->chooseHardware(index);
    });
    connect(behavior_, &QComboBox::activated, this, [this](int index) {
        if (!filling_)
            configuration_->chooseBehavior(index);
    });
    connect(configuration_, &KLVDeviceConfiguration::menusChanged, this, &KLVDeviceConfigSheet::fillMenus);
    connect(configuration_, &KLVDeviceConfiguration::communicatorChanged, this, [this] {
        fillMenus();
        loadConfigView();
    });
    connect(save_, &QPushButton::clicked, this, &KLVDeviceConfigSheet::saveAction);

    configuration_->open();
    fillMenus();
    loadConfigView();
}

KLVDeviceConfigSheet::~KLVDeviceConfigSheet()
{
    detachConfigView();
}

void KLVDeviceConfigSheet::fillMenus()
{
    filling_ = true;
    hardware_->clear();
    for (const auto& item : configuration_->hardwareItems())
        hardware_->addItem(item.title);
    hardware_->setCurrentIndex(configuration_->selectedHardware());
    behavior_->clear();
    for (const auto& item : configuration_->behaviorItems())
        behavior_->addItem(item.title, item.tag);
    behavior_->setCurrentIndex(configuration_->selectedBehavior());
    filling_ = false;
}

void KLVDeviceConfigSheet::detachConfigView()
{
    if (!installed_)
        return;
    viewHost_->removeWidget(installed_);
    installed_->hide();
    installed_->setParent(nullptr);
    installed_ = nullptr;
}

void KLVDeviceConfigSheet::loadConfigView()
{
    const std::shared_ptr<QMHardwareCommunicator> communicator = configuration_->communicator();
    QWidget* view = communicator ? communicator->setupView() : nullptr;
    if (view == installed_)
        return;
    detachConfigView();
    if (view) {
        viewHost_->addWidget(view, 0, Qt::AlignHCenter);
        view->show();
        installed_ = view;
    }
    adjustSize();
}

void KLVDeviceConfigSheet::saveAction()
{
    const KLVDeviceConfiguration::SaveResult result = configuration_->save();
    message_->setText(result.message);
    message_->setVisible(!result.message.isEmpty());
    if (result.saved && result.message.isEmpty())
        accept();
}

void KLVDeviceConfigSheet::reject()
{
    // Undone before the sheet lets go of the link's view: the view may go with a link that the
    // device no longer has.
    detachConfigView();
    configuration_->revert();
    QDialog::reject();
}
