#pragma once
// One channel's column: its label, link menu and configuration button, the preview frame (drawn
// by the preview strip), the transport bar with the elapsed and remaining time, the transport
// buttons, the slave offset controls and the jump-to-time field. The playlist table and record
// mode's view are other widgets placed into it. It keeps the channel's movie controller pointed
// at its bar and time fields for as long as it lives.

#include <QWidget>

class KLVChannelConfigPopover;
class KLVChannelController;
class KLVTimeCodeTextField;
class QAction;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMProgressView;
class QPushButton;
class QToolButton;
class QVBoxLayout;

class KLVChannelColumn final : public QWidget {
    Q_OBJECT

public:
    explicit KLVChannelColumn(KLVChannelController& channel, QWidget* parent = nullptr);
    ~KLVChannelColumn() override;

    void setPlaylistWidget(QWidget* table);
    // Shown instead of the transport while the channel records.
    void setRecordView(QWidget* view);
    // Re-reads the controller.
    void refresh();
    // Opens the configuration popover, or closes it when it is shown.
    void editChannelConfiguration();
    // Opens the jump-to-time field, or closes it when it is shown.
    void openJumpToTime();

    KLVChannelController& channel() const { return channel_; }
    KLVChannelConfigPopover* configurationPopover() const { return popover_; }
    QWidget* previewFrame() const { return preview_; }
    QMProgressView* progressBar() const { return progress_; }
    KLVTimeCodeTextField* timeIn() const { return timeIn_; }
    KLVTimeCodeTextField* timeOut() const { return timeOut_; }
    QLineEdit* channelLabel() const { return label_; }
    QComboBox* linkMenu() const { return link_; }
    QPushButton* playButton() const { return play_; }
    QPushButton* stopButton() const { return stop_; }
    // Shown while the channel has no output; it explains and opens the configuration.
    QPushButton* noOutputButton() const { return noOutput_; }
    QLabel* componentModeLabel() const { return componentMode_; }
    QLabel* referenceIndicator() const { return reference_; }
    QWidget* offsetControls() const { return offsetControls_; }
    QLineEdit* offsetField() const { return offset_; }
    // The graphic overlay: a menu to choose, edit and remove the image, and the show/hide button
    // that fades it in and out.
    QToolButton* overlayMenuButton() const { return overlayMenu_; }
    QAction* chooseOverlayAction() const { return chooseOverlay_; }
    QAction* editOverlayAction() const { return editOverlay_; }
    QAction* removeOverlayAction() const { return removeOverlay_; }
    QPushButton* overlayShowHideButton() const { return overlayShowHide_; }
    QWidget* jumpToTimePopup() const { return jumpPopup_; }
    QLineEdit* jumpToTimeField() const { return jumpField_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildHeader();
    void saveChannelName();
    QWidget* buildTransport();
    QWidget* buildOffsetControls();
    void buildOverlayControls(QHBoxLayout* row);
    void buildJumpToTime();
    void refreshMenus();
    void publishPreviewFrames();

    KLVChannelController& channel_;
    QVBoxLayout* layout_;
    QLineEdit* label_ = nullptr;
    QComboBox* link_ = nullptr;
    QPushButton* configure_ = nullptr;
    QPushButton* noOutput_ = nullptr;
    QWidget* preview_ = nullptr;
    QLabel* componentMode_ = nullptr;
    QLabel* reference_ = nullptr;
    QMProgressView* progress_ = nullptr;
    KLVTimeCodeTextField* timeIn_ = nullptr;
    KLVTimeCodeTextField* timeOut_ = nullptr;
    QWidget* transport_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* jump_ = nullptr;
    QWidget* offsetControls_ = nullptr;
    QLineEdit* offset_ = nullptr;
    QToolButton* overlayMenu_ = nullptr;
    QAction* chooseOverlay_ = nullptr;
    QAction* editOverlay_ = nullptr;
    QAction* removeOverlay_ = nullptr;
    QPushButton* overlayShowHide_ = nullptr;
    QWidget* jumpPopup_ = nullptr;
    QLineEdit* jumpField_ = nullptr;
    QWidget* playlist_ = nullptr;
    QWidget* recordView_ = nullptr;
    KLVChannelConfigPopover* popover_ = nullptr;
};
