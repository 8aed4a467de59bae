#include "ui/widgets/channel/KLVChannelConfigPopover.h"

#include "app/defaults/KLVDefaultsKeys.h"
#include "app/document/KLVChannel.h"
#include "platform/foundation/UserDefaults.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelRecord.h"
#include "ui/logic/channel/KLVChannelTransport.h"
#include "ui/widgets/common/KLVScreenPlacement.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace {
QRadioButton* radio(const QString& title, QButtonGroup* group, int id, QHBoxLayout* row)
{
    auto* button = new QRadioButton(title);
    group->addButton(button, id);
    row->addWidget(button);
    return button;
}

QString anamorphicKey(long tag)
{
    return KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastAnamorphic, tag);
}
} // namespace

KLVChannelConfigPopover::KLVChannelConfigPopover(KLVChannelController& channel, QWidget* parent)
    : QWidget(parent, Qt::Popup), channel_(channel)
{
    layout_ = new QVBoxLayout(this);
    auto* outputForm = new QFormLayout;
    devices_ = new QComboBox;
    devices_->setModel(new QStandardItemModel(devices_));
    modes_ = new QComboBox;
    operationMode_ = new QComboBox;
    operationMode_->addItems({tr("Playback"), tr("Record")});
    outputForm->addRow(tr("Mode:"), operationMode_);
    outputForm->addRow(tr("Device:"), devices_);
    outputForm->addRow(tr("Format:"), modes_);
    layout_->addLayout(outputForm);

    playbackSettings_ = new QWidget;
    auto* playback = new QFormLayout(playbackSettings_);
    playback->setContentsMargins(0, 0, 0, 0);
    auto* audioRow = new QHBoxLayout;
    audioOutput_ = new QButtonGroup(this);
    radio(tr("Computer"), audioOutput_, 0, audioRow);
    radio(tr("SDI embedded"), audioOutput_, 1, audioRow);
    mute_ = new QCheckBox(tr("Mute"));
    audioRow->addWidget(mute_);
    playback->addRow(tr("Audio:"), audioRow);
    audioDelay_ = new QSpinBox;
    audioDelay_->setRange(-5000, 5000);
    audioDelay_->setSuffix(tr(" ms"));
    playback->addRow(tr("Audio delay:"), audioDelay_);
    auto* timecodeRow = new QHBoxLayout;
    timecodeBox_ = new QCheckBox(tr("Output"));
    timecodeRow->addWidget(timecodeBox_);
    timecode_ = new QButtonGroup(this);
    radio(tr("Elapsed"), timecode_, 1, timecodeRow);
    radio(tr("Remaining"), timecode_, 2, timecodeRow);
    playback->addRow(tr("Time code:"), timecodeRow);
    sync_ = new QComboBox;
    sync_->addItem(tr("Free run"), 0);
    sync_->addItem(tr("Synchronised"), 1);
    playback->addRow(tr("Sync:"), sync_);
    showSlate_ = new QCheckBox(tr("Show slate"));
    mutePreview_ = new QCheckBox(tr("Mute preview"));
    anamorphic_ = new QCheckBox(tr("Anamorphic"));
    anamorphic_->setObjectName(QStringLiteral("anamorphicBox"));
    playback->addRow(showSlate_);
    playback->addRow(mutePreview_);
    playback->addRow(anamorphic_);
    layout_->addWidget(playbackSettings_);

    KLVChannelOutput& output = channel_.output();
    connect(devices_, qOverload<int>(&QComboBox::activated), this, [this, &output](int index) {
        output.selectDeviceWithTag(devices_->itemData(index).toLongLong());
        refresh();
    });
    connect(modes_, qOverload<int>(&QComboBox::activated), this, [this, &output](int index) {
        output.selectMode(index);
        refresh();
    });
    connect(operationMode_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        channel_.record().setOperationMode(index, true);
        channel_.operationModeDidChange(channel_.operationMode());
        adjustSettingsView();
        refresh();
    });
    connect(audioOutput_, &QButtonGroup::idClicked, this, [&output](int id) { output.selectAudioOutput(id); });
    connect(mute_, &QCheckBox::clicked, this, [&output](bool on) { output.setMute(on); });
    connect(timecodeBox_, &QCheckBox::clicked, this, [this, &output](bool on) {
        output.enableTimecode(on);
        refresh();
    });
    connect(timecode_, &QButtonGroup::idClicked, this, [this, &output](int id) {
        output.selectTimecode(id);
        refresh();
    });
    connect(sync_, qOverload<int>(&QComboBox::activated), this,
            [this, &output](int index) { output.setSyncMode(sync_->itemData(index).toLongLong()); });
    connect(showSlate_, &QCheckBox::clicked, this, [this](bool on) { channel_.transport().setShowSlate(on); });
    connect(mutePreview_, &QCheckBox::clicked, this, [this](bool on) { channel_.transport().setMutePreview(on); });
    connect(anamorphic_, &QCheckBox::clicked, this, [this](bool on) {
        platform::UserDefaults::sharedDefaults().setBool(on, anamorphicKey(channel_.tag()));
        channel_.transport().setAnamorphicPlaybackBehavior(on);
    });
    connect(audioDelay_, qOverload<int>(&QSpinBox::valueChanged), this, [this](int ms) {
        if (channel_.channel()->audioDelay() == ms)
            return;
        channel_.channel()->setAudioDelay(ms);
        channel_.transport().updateAudioDelay();
        channel_.delegate().saveLocalData();
    });
    connect(&channel_, &KLVChannelController::menusChanged, this, &KLVChannelConfigPopover::refresh);
    connect(&channel_, &KLVChannelController::stateChanged, this, [this] {
        if (isVisible())
            refresh();
    });
    refresh();
}

void KLVChannelConfigPopover::setRecordSettings(QWidget* settings)
{
    delete recordSettings_;
    recordSettings_ = settings;
    if (settings)
        layout_->addWidget(settings);
    adjustSettingsView();
}

void KLVChannelConfigPopover::adjustSettingsView()
{
    const long mode = channel_.operationMode();
    if (mode != 0 && mode != 1)
        return;
    playbackSettings_->setVisible(mode == 0);
    if (recordSettings_)
        recordSettings_->setVisible(mode == 1);
    adjustSize();
    // Record mode's settings make it taller: it stays on the screen.
    if (isVisible())
        KLVScreenPlacement::keepOnScreen(*this);
}

void KLVChannelConfigPopover::refresh()
{
    const KLVChannelOutput& output = channel_.output();
    {
        const QSignalBlocker block(devices_);
        auto* model = static_cast<QStandardItemModel*>(devices_->model());
        model->clear();
        int selected = -1;
        for (const auto& item : output.deviceItems()) {
            auto* row = new QStandardItem(item.title);
            row->setData(qlonglong(item.tag), Qt::UserRole);
            row->setEnabled(item.enabled);
            model->appendRow(row);
            if (item.tag == output.selectedDeviceTag())
                selected = model->rowCount() - 1;
        }
        devices_->setCurrentIndex(selected);
    }
    {
        const QSignalBlocker block(modes_);
        modes_->clear();
        for (const auto& item : output.modeItems())
            modes_->addItem(item.title, qlonglong(item.tag));
        modes_->setCurrentIndex(int(output.selectedModePosition()));
    }
    const QSignalBlocker blockMode(operationMode_);
    operationMode_->setCurrentIndex(int(channel_.operationMode()));
    if (QAbstractButton* b = audioOutput_->button(int(output.audioOutput())))
        b->setChecked(true);
    mute_->setChecked(output.mute());
    timecodeBox_->setChecked(output.timecodeEnabled());
    timecode_->setExclusive(false);
    for (QAbstractButton* b : timecode_->buttons())
        b->setChecked(timecode_->id(b) == output.selectedTimecodeTag());
    timecode_->setExclusive(true);
    const QSignalBlocker blockSync(sync_);
    sync_->setCurrentIndex(sync_->findData(qlonglong(output.syncMode())));
    showSlate_->setChecked(channel_.transport().showSlate());
    mutePreview_->setChecked(channel_.transport().mutePreview());
    anamorphic_->setChecked(platform::UserDefaults::sharedDefaults().boolForKey(anamorphicKey(channel_.tag())));
    const QSignalBlocker blockDelay(audioDelay_);
    audioDelay_->setValue(int(channel_.channel()->audioDelay()));
}

void KLVChannelConfigPopover::popUp(QWidget* anchor)
{
    channel_.output().configurationPopoverOpened();
    adjustSettingsView();
    refresh();
    if (anchor) {
        adjustSize();
        move(KLVScreenPlacement::besideAnchor(*anchor, size()));
    }
    show();
}

void KLVChannelConfigPopover::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    channel_.output().configurationPopoverClosed();
}
