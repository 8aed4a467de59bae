#pragma once
// The record settings of the channel configuration popover: the codec menu (the recordable
// codecs only, each with its label) and the anamorphic check box, bound to the channel's stored
// settings.

#include <QWidget>

class KLVChannelController;
class QCheckBox;
class QComboBox;

class KLVRecordSettingsControls final : public QWidget {
    Q_OBJECT
public:
    explicit KLVRecordSettingsControls(KLVChannelController& channel, QWidget* parent = nullptr);

    QComboBox* codecMenu() const { return codec_; }
    QCheckBox* anamorphicBox() const { return anamorphic_; }
    void refresh();

private:
    KLVChannelController& channel_;
    QComboBox* codec_ = nullptr;
    QCheckBox* anamorphic_ = nullptr;
};
