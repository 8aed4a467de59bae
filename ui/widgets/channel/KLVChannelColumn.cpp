#include "ui/widgets/channel/KLVChannelColumn.h"

#include "app/document/KLVPlaylistNode.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "platform/foundation/UserDefaults.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelOverlay.h"
#include "ui/logic/channel/KLVChannelTransport.h"
#include "app/defaults/KLVDefaultsKeys.h"
#include "resources/strings/KLVLocalized.h"
#include "ui/widgets/channel/KLVChannelConfigPopover.h"
#include "ui/widgets/common/KLVControlNames.h"
#include "ui/widgets/common/KLVScreenPlacement.h"
#include "ui/widgets/common/KLVTimeCodeTextField.h"
#include "ui/widgets/common/KLVTransportButton.h"
#include "ui/widgets/common/QMProgressView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QToolButton>
#include <QVBoxLayout>

KLVChannelColumn::KLVChannelColumn(KLVChannelController& channel, QWidget* parent)
    : QWidget(parent), channel_(channel)
{
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(4, 4, 4, 4);
    layout_->addWidget(buildHeader());
    preview_ = new QWidget;
    preview_->setObjectName(QStringLiteral("previewFrame"));
    preview_->setMinimumSize(160, 90);
    preview_->setAccessibleName(KLVLocalized::text("QM_CHANNEL_PREVIEW", {QString::number(channel_.tag())}));
    layout_->addWidget(preview_);
    auto* status = new QHBoxLayout;
    componentMode_ = new QLabel;
    reference_ = new QLabel;
    KLVControlNames::name(componentMode_, "QM_OUTPUT_FORMAT");
    status->addWidget(componentMode_, 1);
    buildOverlayControls(status);
    status->addWidget(reference_);
    layout_->addLayout(status);
    layout_->addWidget(buildTransport());
    layout_->addWidget(buildOffsetControls());
    buildJumpToTime();
    popover_ = new KLVChannelConfigPopover(channel_, this);

    KLVMovieController& movie = channel_.movie();
    movie.setProgressBar(progress_);
    movie.setTimeIn(timeIn_);
    movie.setTimeOut(timeOut_);
    connect(timeIn_, &KLVTimeCodeTextField::showTimeCodeChanged, this,
            [this](bool show) { channel_.setShowTimeCode(show); });
    connect(&channel_, &KLVChannelController::stateChanged, this, &KLVChannelColumn::refresh);
    connect(&channel_, &KLVChannelController::currentNodeChanged, this, &KLVChannelColumn::refresh);
    connect(&channel_, &KLVChannelController::menusChanged, this, &KLVChannelColumn::refreshMenus);
    connect(&channel_, &KLVChannelController::configurationRequested, this, [this] {
        if (!popover_->isVisible())
            editChannelConfiguration();
    });
    refreshMenus();
    refresh();
}

KLVChannelColumn::~KLVChannelColumn()
{
    // The field loses focus while the window goes, after this column's members are gone: a name
    // still being typed is saved here, and the field's signal must not reach this column again.
    label_->disconnect(this);
    if (label_->hasFocus())
        saveChannelName();
    KLVMovieController& movie = channel_.movie();
    movie.setProgressBar(nullptr);
    movie.setTimeIn(nullptr);
    movie.setTimeOut(nullptr);
}

void KLVChannelColumn::saveChannelName()
{
    // A cleared field leaves the channel unnamed, not named "".
    auto& defaults = platform::UserDefaults::sharedDefaults();
    const QString key = KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kChannelLabel, channel_.tag());
    if (label_->text().isEmpty())
        defaults.removeObjectForKey(key);
    else
        defaults.setObject(label_->text(), key);
}

QWidget* KLVChannelColumn::buildHeader()
{
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    label_ = new QLineEdit;
    label_->setPlaceholderText(QStringLiteral("Channel %1").arg(channel_.tag()));
    label_->setText(channel_.channelName());
    KLVControlNames::name(label_, "QM_CHANNEL_NAME");
    connect(label_, &QLineEdit::editingFinished, this, [this] {
        saveChannelName();
        // Editing ends with the playlist taking the keyboard again.
        if (playlist_)
            playlist_->setFocus();
    });
    link_ = new QComboBox;
    link_->setModel(new QStandardItemModel(link_));
    KLVControlNames::name(link_, "QM_LINK_MENU");
    connect(link_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        channel_.selectLinkSetting(index);
        refreshMenus();
    });
    noOutput_ = new QPushButton(tr("No Output"));
    connect(noOutput_, &QPushButton::clicked, this, [this] { channel_.output().noOutputSelected(); });
    configure_ = new QPushButton(tr("Configure"));
    connect(configure_, &QPushButton::clicked, this, &KLVChannelColumn::editChannelConfiguration);
    row->addWidget(label_, 1);
    row->addWidget(link_);
    row->addWidget(noOutput_);
    row->addWidget(configure_);
    return header;
}

QWidget* KLVChannelColumn::buildTransport()
{
    transport_ = new QWidget;
    auto* column = new QVBoxLayout(transport_);
    column->setContentsMargins(0, 0, 0, 0);
    progress_ = new QMProgressView;
    KLVControlNames::name(progress_, "QM_POSITION");
    column->addWidget(progress_);
    auto* times = new QHBoxLayout;
    timeIn_ = new KLVTimeCodeTextField;
    timeOut_ = new KLVTimeCodeTextField;
    timeOut_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    KLVControlNames::name(timeIn_, "QM_ELAPSED_TIME");
    KLVControlNames::name(timeOut_, "QM_REMAINING_TIME");
    times->addWidget(timeIn_);
    times->addStretch(1);
    times->addWidget(timeOut_);
    column->addLayout(times);

    auto* buttons = new QHBoxLayout;
    KLVChannelTransport& transport = channel_.transport();
    const auto button = [&](const QString& title, const char* nameKey, std::function<void()> action) {
        auto* b = new QPushButton(title);
        KLVControlNames::name(b, nameKey);
        connect(b, &QPushButton::clicked, this, std::move(action));
        buttons->addWidget(b);
        return b;
    };
    // Step buttons rewind or fast-forward while held during play.
    const auto stepButton = [&](const QString& title, int tag, const char* nameKey, const char* tipKey) {
        auto* b = new KLVTransportButton;
        b->setText(title);
        KLVControlNames::name(b, nameKey, tipKey);
        b->setTag(tag);
        b->setTarget({[this] { return channel_.isPlaying(); }, [&transport] { transport.rewind(); },
                      [&transport] { transport.fastForward(); }, [&transport] { transport.resumePlayRate(); },
                      [&transport, tag] { transport.deckControl(tag); }});
        buttons->addWidget(b);
    };
    button(QStringLiteral("|<"), "QM_GO_TO_START", [&transport] { transport.rewindMaster(); });
    stepButton(QStringLiteral("<"), 2, "QM_REWIND", "QM_STEP_BACK_TIP");
    button(QStringLiteral("||"), "QM_PAUSE", [this] { channel_.pauseMaster(this); });
    // Play shows whether the channel plays, so it is checkable, and the accessibility interface
    // then offers only Toggle, which changes the check without a click: the user's toggle (a
    // click, the keyboard or Toggle) is the action; refresh() shows the state with signals
    // blocked.
    play_ = new QPushButton(QStringLiteral(">"));
    KLVControlNames::name(play_, "QM_PLAY");
    play_->setCheckable(true);
    connect(play_, &QPushButton::toggled, this, [this] { channel_.playMaster(this); });
    buttons->addWidget(play_);
    stepButton(QStringLiteral(">|"), 5, "QM_FAST_FORWARD", "QM_STEP_FORWARD_TIP");
    stop_ = button(tr("Stop"), "QM_STOP", [this] { channel_.stopMaster(this); });
    button(tr("Next"), "QM_NEXT_CUE", [&transport] { transport.triggerNextNode(); });
    jump_ = button(tr("Jump"), "QM_JUMP_TO_TIME", [this] { openJumpToTime(); });
    column->addLayout(buttons);
    return transport_;
}

void KLVChannelColumn::buildOverlayControls(QHBoxLayout* row)
{
    KLVChannelOverlay& overlay = channel_.overlay();
    overlayMenu_ = new QToolButton;
    overlayMenu_->setText(tr("Overlay"));
    overlayMenu_->setToolTip(tr("Graphic overlay of this channel"));
    overlayMenu_->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(overlayMenu_);
    chooseOverlay_ = menu->addAction(tr("Choose Overlay\u2026"), this, [&overlay] { overlay.chooseImage(); });
    editOverlay_ = menu->addAction(tr("Edit Overlay\u2026"), this, [&overlay] { overlay.editGraphicOverlay(); });
    menu->addSeparator();
    removeOverlay_ = menu->addAction(tr("Remove Overlay"), this, [&overlay] { overlay.removeImage(); });
    overlayMenu_->setMenu(menu);
    overlayShowHide_ = new QPushButton;
    connect(overlayShowHide_, &QPushButton::clicked, this, [this, &overlay] {
        overlay.graphicOverlayButtonAction();
        refresh();
    });
    row->addWidget(overlayMenu_);
    row->addWidget(overlayShowHide_);
}

QWidget* KLVChannelColumn::buildOffsetControls()
{
    offsetControls_ = new QWidget;
    auto* row = new QHBoxLayout(offsetControls_);
    row->setContentsMargins(0, 0, 0, 0);
    KLVChannelTransport& transport = channel_.transport();
    auto* earlier = new QPushButton(tr("-1f"));
    auto* later = new QPushButton(tr("+1f"));
    auto* set = new QPushButton(tr("Set"));
    offset_ = new QLineEdit;
    offset_->setPlaceholderText(tr("Offset"));
    KLVControlNames::name(earlier, "QM_FRAME_EARLIER");
    KLVControlNames::name(later, "QM_FRAME_LATER");
    KLVControlNames::name(set, "QM_SET_OFFSET");
    KLVControlNames::name(offset_, "QM_OFFSET");
    connect(earlier, &QPushButton::clicked, this, [&transport] { transport.updateOffset(1); });
    connect(later, &QPushButton::clicked, this, [&transport] { transport.updateOffset(0); });
    connect(set, &QPushButton::clicked, this, [this, &transport] {
        transport.setOffsetFromPositions();
        refresh();
    });
    connect(offset_, &QLineEdit::editingFinished, this, [this, &transport] {
        transport.setOffsetString(offset_->text());
        if (playlist_)
            playlist_->setFocus();
        refresh();
    });
    row->addWidget(new QLabel(tr("Offset:")));
    row->addWidget(earlier);
    row->addWidget(offset_, 1);
    row->addWidget(later);
    row->addWidget(set);
    return offsetControls_;
}

void KLVChannelColumn::buildJumpToTime()
{
    // A popup: a click outside closes it.
    jumpPopup_ = new QWidget(this, Qt::Popup);
    auto* row = new QHBoxLayout(jumpPopup_);
    jumpField_ = new QLineEdit;
    KLVControlNames::name(jumpField_, "QM_JUMP_TO_TIME");
    row->addWidget(new QLabel(tr("Jump to:")));
    row->addWidget(jumpField_);
    connect(jumpField_, &QLineEdit::returnPressed, this, [this] {
        if (!jumpPopup_->isVisible())
            return;
        jumpPopup_->hide();
        channel_.transport().jumpToTime(jumpField_->text());
    });
}

void KLVChannelColumn::openJumpToTime()
{
    if (jumpPopup_->isVisible()) {
        jumpPopup_->hide();
        return;
    }
    jumpField_->setText(channel_.transport().jumpToTimeText());
    jumpPopup_->adjustSize();
    jumpPopup_->move(KLVScreenPlacement::besideAnchor(*jump_, jumpPopup_->size()));
    jumpPopup_->show();
    jumpField_->setFocus();
    jumpField_->selectAll();
}

void KLVChannelColumn::editChannelConfiguration()
{
    if (popover_->isVisible())
        popover_->hide();
    else
        popover_->popUp(configure_);
}

void KLVChannelColumn::setPlaylistWidget(QWidget* table)
{
    delete playlist_;
    playlist_ = table;
    if (table)
        layout_->addWidget(table, 1);
}

void KLVChannelColumn::setRecordView(QWidget* view)
{
    delete recordView_;
    recordView_ = view;
    if (view)
        layout_->insertWidget(layout_->indexOf(transport_) + 1, view);
    refresh();
}

void KLVChannelColumn::refreshMenus()
{
    auto* model = static_cast<QStandardItemModel*>(link_->model());
    const QSignalBlocker block(link_);
    model->clear();
    const QStringList titles = channel_.linkMenuTitles();
    for (qsizetype i = 0; i < titles.size(); ++i) {
        auto* item = new QStandardItem(titles.at(i));
        item->setEnabled(i != channel_.tag());
        model->appendRow(item);
    }
    link_->setCurrentIndex(int(channel_.selectedLinkIndex()));
    refresh();
}

void KLVChannelColumn::refresh()
{
    const KLVChannelOutput& output = channel_.output();
    const bool recording = channel_.operationMode() == 1;
    transport_->setVisible(!recording || !recordView_);
    if (recordView_)
        recordView_->setVisible(recording);
    componentMode_->setText(output.componentModeLabel());
    const bool locked = channel_.hasReference();
    reference_->setText(locked ? QStringLiteral("\u25CF") : QStringLiteral("\u25CB"));
    KLVControlNames::name(reference_, locked ? "QM_REFERENCE_LOCKED" : "QM_NO_REFERENCE");
    {
        const QSignalBlocker block(play_);
        play_->setChecked(channel_.transport().masterPlayButtonOn() && channel_.isPlaying());
    }
    timeIn_->setShowTimeCode(channel_.movie().showTimeCode());
    timeIn_->setHasTimeCode(channel_.transport().hasTimeCode());
    noOutput_->setVisible(!output.deviceEnabled());
    const KLVChannelOverlay& overlay = channel_.overlay();
    const bool hasOverlay = overlay.hasImage();
    overlayShowHide_->setText(overlay.graphicOverlayShowHideButtonTitle());
    // Hiding stays possible whatever happens to the image; showing needs one.
    overlayShowHide_->setEnabled(hasOverlay || overlay.graphicOverlayImageIsDisplayed());
    editOverlay_->setEnabled(hasOverlay);
    removeOverlay_->setEnabled(hasOverlay);
    const auto node = channel_.currentPlaylistNode();
    offsetControls_->setVisible(channel_.linkedController() != nullptr);
    if (node && !offset_->hasFocus())
        offset_->setText(node->frameOffset());
}

void KLVChannelColumn::publishPreviewFrames()
{
    const qreal ratio = devicePixelRatioF();
    const auto backing = [ratio](const QRect& r) {
        return QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio);
    };
    channel_.setPreviewFrames(backing(preview_->geometry()), backing(geometry()));
}

void KLVChannelColumn::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    publishPreviewFrames();
}

void KLVChannelColumn::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    publishPreviewFrames();
}

void KLVChannelColumn::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    publishPreviewFrames();
}
