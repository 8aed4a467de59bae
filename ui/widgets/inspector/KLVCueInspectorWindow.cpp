#include "ui/widgets/inspector/KLVCueInspectorWindow.h"

#include "app/document/KLVPlaylistNode.h"
#include "app/gl/RenderView.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "ui/logic/inspector/KLVCueInspectorController.h"
#include "ui/logic/channel/KLVChannelTexts.h"
#include "ui/widgets/common/KLVControlNames.h"
#include "ui/widgets/common/QMProgressView.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

void KLVInspectorTimeField::setTextColor(const QColor& color)
{
    QPalette p = palette();
    p.setColor(QPalette::Text, color);
    setPalette(p);
}

KLVCueInspectorWindow::KLVCueInspectorWindow(KLVCueInspectorController& controller, bool withPicture, QWidget* parent)
    : QWidget(parent, Qt::Window), controller_(controller)
{
    setObjectName(QStringLiteral("KLVCueInspectorController"));
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    if (withPicture) {
        renderView_ = new RenderView;
        renderView_->setHeadIndex(0);
        renderContainer_ = QWidget::createWindowContainer(renderView_, this);
        renderContainer_->setMinimumSize(640, 360);
        renderContainer_->setFocusPolicy(Qt::NoFocus);
        KLVControlNames::name(renderContainer_, "QM_CUE_PICTURE");
        layout->addWidget(renderContainer_, 1);
    }
    progress_ = new QMProgressView(this);
    progress_->setType(1);
    KLVControlNames::name(progress_, "QM_POSITION");
    layout->addWidget(progress_);

    auto* row = new QHBoxLayout;
    in_ = new KLVInspectorTimeField(this);
    out_ = new KLVInspectorTimeField(this);
    KLVControlNames::name(in_, "QM_IN_POINT");
    KLVControlNames::name(out_, "QM_OUT_POINT");
    auto* setIn = new QPushButton(KLVChannelTexts::localized("QM_SET_IN"), this);
    auto* setOut = new QPushButton(KLVChannelTexts::localized("QM_SET_OUT"), this);
    auto* reset = new QPushButton(KLVChannelTexts::localized("QM_RESET"), this);
    auto* reveal = new QPushButton(KLVChannelTexts::localized("QM_SHOW_IN_FOLDER"), this);
    row->addWidget(in_);
    row->addWidget(setIn);
    row->addStretch(1);
    struct Button {
        const char* label;
        const char* nameKey;
        void (KLVCueInspectorController::*action)();
    };
    for (const Button& b : {Button{"|<", "QM_GO_TO_START", &KLVCueInspectorController::goToBeginningAction},
                            Button{"<", "QM_REWIND", &KLVCueInspectorController::rewindAction},
                            Button{"||", "QM_PAUSE", &KLVCueInspectorController::pauseAction},
                            Button{">", "QM_PLAY", &KLVCueInspectorController::playAction},
                            Button{">>", "QM_FAST_FORWARD", &KLVCueInspectorController::fastforwardAction},
                            Button{">|", "QM_GO_TO_END", &KLVCueInspectorController::goToEndAction}}) {
        auto* button = new QPushButton(QString::fromLatin1(b.label), this);
        KLVControlNames::name(button, b.nameKey);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, [this, action = b.action] { (controller_.*action)(); });
        row->addWidget(button);
    }
    row->addStretch(1);
    row->addWidget(setOut);
    row->addWidget(out_);
    layout->addLayout(row);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(reset);
    bottom->addStretch(1);
    bottom->addWidget(reveal);
    layout->addLayout(bottom);

    connect(in_, &QLineEdit::editingFinished, this, [this] { typed(false); });
    connect(out_, &QLineEdit::editingFinished, this, [this] { typed(true); });
    connect(setIn, &QPushButton::clicked, this, [this] { controller_.setInOutValue(false); });
    connect(setOut, &QPushButton::clicked, this, [this] { controller_.setInOutValue(true); });
    connect(reset, &QPushButton::clicked, this, [this] { controller_.resetInOutPoints(); });
    connect(reveal, &QPushButton::clicked, this, [this] { controller_.showInFinder(); });

    controller_.setViews(progress_, in_, out_);
    if (renderView_) {
        const QSize size = renderContainer_->minimumSize();
        if (KLVDVIOutput* output = controller_.attachPrivateOutput(size.width(), size.height()))
            renderView_->setOutput(*output);
        controller_.movieController().setPreviewFrames(QRectF(QPointF(0, 0), size), QRectF(QPointF(0, 0), size));
    }
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void KLVCueInspectorWindow::inspectCue(const std::shared_ptr<KLVPlaylistNode>& node, bool withSlateScreen)
{
    show();
    raise();
    activateWindow();
    controller_.inspectCue(node, withSlateScreen);
}

KLVCueInspectorWindow::~KLVCueInspectorWindow()
{
    controller_.setViews(nullptr, nullptr, nullptr);
    if (renderView_)
        renderView_->setOutput(std::nullopt);
}

void KLVCueInspectorWindow::typed(bool outField)
{
    KLVInspectorTimeField* field = outField ? out_ : in_;
    // Ends the edit: the field shows the controller's times again.
    field->clearFocus();
    if (!controller_.updateProgressBar(outField, field->text())) {
        // Refused: the field shows the cue's point again.
        if (const auto node = controller_.currentNode())
            field->setText(outField ? node->outPointString() : node->inPointString());
    }
}

void KLVCueInspectorWindow::keyPressEvent(QKeyEvent* event)
{
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
    int code = 0;
    switch (event->key()) {
    case Qt::Key_Space: code = KLVCueInspectorController::KeySpace; break;
    case Qt::Key_Left: code = KLVCueInspectorController::KeyLeft; break;
    case Qt::Key_Right: code = KLVCueInspectorController::KeyRight; break;
    default: break;
    }
    // The inspector's keys and no others: nothing is passed on.
    if (code)
        controller_.keyDown(code, shift);
    event->accept();
}

void KLVCueInspectorWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    setFocus(Qt::ActiveWindowFocusReason);
}

void KLVCueInspectorWindow::closeEvent(QCloseEvent* event)
{
    // A field being edited counts as entered.
    if (in_->hasFocus())
        typed(false);
    if (out_->hasFocus())
        typed(true);
    controller_.windowWillClose();
    QWidget::closeEvent(event);
}
