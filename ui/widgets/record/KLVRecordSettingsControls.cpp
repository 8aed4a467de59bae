#include "ui/widgets/record/KLVRecordSettingsControls.h"

#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelRecord.h"
#include "ui/logic/channel/KLVChannelTexts.h"
#include "ui/logic/record/KLVRecordFormat.h"

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
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(KLVChannelTexts::localized("QM_CODEC"), codec_);
    connect(codec_, &QComboBox::activated, this,
            [this](int index) { channel_.record().setCompressionCodec(codec_->itemData(index).toInt()); });
    connect(&channel_, &KLVChannelController::stateChanged, this, &KLVRecordSettingsControls::refresh);
    refresh();
}

void KLVRecordSettingsControls::refresh()
{
    const QSignalBlocker blockCodec(codec_);
    // Every index outside the ProRes family records H.264: the menu shows it so.
    const int codec = channel_.record().compressionCodec();
    const int shown = codec_->findData(codec);
    codec_->setCurrentIndex(shown >= 0 ? shown : codec_->findData(KLVRecordFormat::kH264Codec));
    codec_->setEnabled(!channel_.record().isRecording());
}
