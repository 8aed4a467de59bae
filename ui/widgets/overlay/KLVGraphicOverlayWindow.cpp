#include "ui/widgets/overlay/KLVGraphicOverlayWindow.h"

#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOverlay.h"
#include "ui/logic/channel/KLVChannelTexts.h"
#include "ui/logic/overlay/KLVGraphicOverlayEditor.h"
#include "ui/widgets/overlay/KLVGraphicOverlayEditorView.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

KLVGraphicOverlayWindow::KLVGraphicOverlayWindow(KLVGraphicOverlayEditor& editor, QWidget* parent)
    : QWidget(parent, Qt::Window), editor_(editor)
{
    auto* layout = new QVBoxLayout(this);
    auto* pathRow = new QHBoxLayout;
    path_ = new QLabel(this);
    path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    choose_ = new QPushButton(KLVChannelTexts::localized("QM_CHOOSE"), this);
    remove_ = new QPushButton(KLVChannelTexts::localized("QM_REMOVE"), this);
    pathRow->addWidget(path_, 1);
    pathRow->addWidget(choose_);
    pathRow->addWidget(remove_);
    layout->addLayout(pathRow);

    auto* fields = new QFormLayout;
    outputWidth_ = new QLabel(this);
    outputHeight_ = new QLabel(this);
    x_ = new QLineEdit(this);
    y_ = new QLineEdit(this);
    fields->addRow(KLVChannelTexts::localized("QM_OUTPUT_WIDTH"), outputWidth_);
    fields->addRow(KLVChannelTexts::localized("QM_OUTPUT_HEIGHT"), outputHeight_);
    fields->addRow(QStringLiteral("X"), x_);
    fields->addRow(QStringLiteral("Y"), y_);
    layout->addLayout(fields);
    view_ = new KLVGraphicOverlayEditorView(this);
    layout->addWidget(view_, 1);

    connect(choose_, &QPushButton::clicked, this, [this] { editor_.chooseButtonAction(); });
    connect(remove_, &QPushButton::clicked, this, [this] { editor_.removeButtonAction(); });
    connect(x_, &QLineEdit::editingFinished, this, [this] { editor_.imagePositionXAction(x_->text()); });
    connect(y_, &QLineEdit::editingFinished, this, [this] { editor_.imagePositionYAction(y_->text()); });
    view_->onChangeOverlayBounds = [this](const QRectF& rect) { editor_.editorViewDidChangeOverlayBounds(rect); };
    editor_.onChange = [this] { updateUI(); };
    updateUI();
}

KLVGraphicOverlayWindow::~KLVGraphicOverlayWindow()
{
    editor_.onChange = nullptr;
}

void KLVGraphicOverlayWindow::install(KLVChannelController& channel)
{
    auto window = std::make_shared<std::unique_ptr<KLVGraphicOverlayWindow>>();
    channel.overlay().setEditorPresenter([window](KLVGraphicOverlayEditor& editor) {
        if (!*window)
            *window = std::make_unique<KLVGraphicOverlayWindow>(editor);
        (*window)->showWindow();
    });
}

void KLVGraphicOverlayWindow::showWindow()
{
    show();
    raise();
    activateWindow();
}

void KLVGraphicOverlayWindow::updateUI()
{
    if (!editor_.title().isEmpty())
        setWindowTitle(editor_.title());
    path_->setText(editor_.pathText());
    outputWidth_->setText(editor_.outputWidthText());
    outputHeight_->setText(editor_.outputHeightText());
    x_->setText(editor_.positionXText());
    y_->setText(editor_.positionYText());
    view_->setOverlayImage(editor_.overlayImage());
    view_->setDisplayBounds(editor_.displayBounds());
    view_->setOutputSize(editor_.outputSize());
}
