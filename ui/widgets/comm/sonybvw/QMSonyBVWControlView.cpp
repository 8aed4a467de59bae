#include "ui/widgets/comm/sonybvw/QMSonyBVWControlView.h"

#include "comm/core/protocols/sonybvw/QMProtocolParserSonyBVW.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Shown until the deck has answered a time request.
const QString kNoTimecode = QStringLiteral("--:--:--:--");

} // namespace

QMSonyBVWControlView::QMSonyBVWControlView(std::shared_ptr<QMProtocolParserSonyBVW> parser, QWidget* parent)
    : QWidget(parent)
    , parser_(parser)
    , timerField_(new QLabel(this))
{
    QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    digits.setPointSizeF(digits.pointSizeF() * 1.6);
    timerField_->setFont(digits);
    timerField_->setAlignment(Qt::AlignCenter);
    timerField_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(timerField_);
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    buttons->addWidget(rewind_ = transportButton(QStringLiteral("Rewind")));
    buttons->addWidget(play_ = transportButton(QStringLiteral("Play")));
    buttons->addWidget(pause_ = transportButton(QStringLiteral("Pause")));
    buttons->addWidget(stop_ = transportButton(QStringLiteral("Stop")));
    buttons->addWidget(fastForward_ = transportButton(QStringLiteral("Fast Forward")));

    showTimecode(parser->timecodeString());
    // The parser reports each time it reads on the main thread, where this view lives.
    parser->setTimecodeObserver([view = QPointer<QMSonyBVWControlView>(this)](const QString& text) {
        if (view)
            view->showTimecode(text);
    });
}

QMSonyBVWControlView::~QMSonyBVWControlView()
{
    if (const std::shared_ptr<QMProtocolParserSonyBVW> parser = parser_.lock())
        parser->setTimecodeObserver(nullptr);
}

QPushButton* QMSonyBVWControlView::transportButton(const QString& title)
{
    auto* button = new QPushButton(title, this);
    button->setAutoDefault(false);
    // The title names the command the button sends.
    connect(button, &QPushButton::clicked, this, [this, title] {
        if (const std::shared_ptr<QMProtocolParserSonyBVW> parser = parser_.lock())
            parser->transportAction(title);
    });
    return button;
}

void QMSonyBVWControlView::showTimecode(const QString& text)
{
    timerField_->setText(text.isEmpty() ? kNoTimecode : text);
}
