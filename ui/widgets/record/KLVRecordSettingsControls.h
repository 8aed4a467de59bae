#pragma once
// The record settings of the channel configuration popover, shown there in record mode in place
// of the playback settings (anamorphic among them): the codec menu (the ProRes flavours and H.264,
// each with its label), bound to the channel's stored codec.

#include <QWidget>

class KLVChannelController;
class QComboBox;

class KLVRecordSettingsControls final : public QWidget {
    Q_OBJECT
public:
    explicit KLVRecordSettingsControls(KLVChannelController& channel, QWidget* parent = nullptr);

    QComboBox* codecMenu() const { return codec_; }
    void refresh();

private:
    KLVChannelController& channel_;
    QComboBox* codec_ = nullptr;
};
