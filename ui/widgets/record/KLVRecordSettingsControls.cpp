#include "ui/widgets/record/KLVRecordSettingsControls.h"

#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelRecord.h"
#include "ui/logic/channel/KLVChannelTexts.h"
#include "ui/logic/record/KLVRecordFormat.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QSignalBlocker>

KLVRecordSettingsControls::KLVRecordSettingsControls(KLVChannelController& channel, QWidget* parent)
    : QWidget(parent), channel_(channel)
{
    auto* form = new QFormLayout(this);
    codec_ = new QComboBox(this);
    for (int codec : KLVRecordFormat::offeredCodecs())
        codec_->addItem(KLVChannelTexts::localized(KLVRecordFormat::codecLabelKey(codec).toLatin1().constData()),
                        codec);
    anamorphic_ = new QCheckBox(KLVChannelTexts::localized("QM_ANAMORPHIC"), this);
    form->addRow(KLVChannelTexts::localized("QM_CODEC"), codec_);
    form->addRow(QString(), anamorphic_);
    connect(codec_, &QComboBox::activated, this,
            [this](int index) { channel_.record().setCompressionCodec(codec_->itemData(index).toInt()); });
    connect(anamorphic_, &QCheckBox::toggled, this, [this](bool on) { channel_.record().setAnamorphic(on); });
    connect(&channel_, &KLVChannelController::stateChanged, this, &KLVRecordSettingsControls::refresh);
    refresh();
}

void KLVRecordSettingsControls::refresh()
{
    const QSignalBlocker blockCodec(codec_);
    const QSignalBlocker blockAnamorphic(anamorphic_);
    // A stored codec that cannot be recorded shows no selection; Prepare then refuses it.
    codec_->setCurrentIndex(codec_->findData(channel_.record().compressionCodec()));
    anamorphic_->setChecked(channel_.record().anamorphic());
    codec_->setEnabled(!channel_.record().isRecording());
}
