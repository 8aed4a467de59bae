#include "ui/widgets/comm/midi/QMCoreMIDIConfigurationView.h"

#include "comm/showcontrol/midi/QMMIDIHardwareCommunicator.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

QMCoreMIDIConfigurationView::QMCoreMIDIConfigurationView(QMMIDIHardwareCommunicator& communicator, QWidget* parent)
    : QWidget(parent)
    , communicator_(communicator)
    , sourcesLabel_(new QLabel(tr("Listen to MIDI sources:"), this))
    , destinationsLabel_(new QLabel(tr("Send to MIDI destinations:"), this))
    , sourcesMatrix_(new QWidget(this))
    , destinationsMatrix_(new QWidget(this))
    , connectButton_(new QPushButton(tr("Connect"), this))
{
    new QVBoxLayout(sourcesMatrix_);
    new QVBoxLayout(destinationsMatrix_);
    connect(connectButton_, &QPushButton::clicked, this, [this] { communicator_.connectAction(); });
    connect(&communicator_, &QMMIDIHardwareCommunicator::setupChanged, this, &QMCoreMIDIConfigurationView::refresh,
            Qt::QueuedConnection);
    refresh();
}

void QMCoreMIDIConfigurationView::rebuild(QList<QCheckBox*>& boxes, QWidget* matrix, bool sources)
{
    const QList<QMMIDIHardwareCommunicator::SetupRow>& rows = sources ? communicator_.sourceRows() : communicator_.destinationRows();
    while (boxes.size() > rows.size())
        delete boxes.takeLast();
    while (boxes.size() < rows.size()) {
        auto* box = new QCheckBox(matrix);
        const int row = int(boxes.size());
        connect(box, &QCheckBox::clicked, this, [this, row, sources](bool on) {
            if (sources)
                communicator_.sourcesMatrixAction(row, on);
            else
                communicator_.destinationsMatrixAction(row, on);
        });
        matrix->layout()->addWidget(box);
        // Rows also arrive while the view is on screen; a box added then would stay hidden until
        // Qt's deferred show, after layOut has measured the column without it.
        box->show();
        boxes.append(box);
    }
    for (qsizetype i = 0; i < rows.size(); ++i) {
        boxes[i]->setText(rows[i].title);
        boxes[i]->setChecked(rows[i].on);
        boxes[i]->setEnabled(rows[i].enabled);
    }
}

void QMCoreMIDIConfigurationView::refresh()
{
    rebuild(sourceBoxes_, sourcesMatrix_, true);
    rebuild(destinationBoxes_, destinationsMatrix_, false);
    layOut();
}

void QMCoreMIDIConfigurationView::layOut()
{
    for (QWidget* w : {static_cast<QWidget*>(sourcesLabel_), static_cast<QWidget*>(destinationsLabel_), sourcesMatrix_, destinationsMatrix_})
        w->adjustSize();
    const QMMIDIHardwareCommunicator::SetupLayout layout = QMMIDIHardwareCommunicator::layoutInterface(
        sourcesLabel_->height(), sourcesMatrix_->height(), destinationsLabel_->height(), destinationsMatrix_->height());
    const int buttonHeight = connectButton_->sizeHint().height();
    const int height = layout.height + buttonHeight + 8; // the Connect button sits above the rest
    // The layout counts upward from the bottom; widgets are placed from the top.
    const auto place = [&](QWidget* w, int bottomY) { w->move(20, height - bottomY - w->height()); };
    place(destinationsMatrix_, layout.destinationsMatrixY);
    place(destinationsLabel_, layout.destinationsLabelY);
    place(sourcesMatrix_, layout.sourcesMatrixY);
    place(sourcesLabel_, layout.sourcesLabelY);
    connectButton_->move(20, 8);
    // Placed by hand, so the view states its own size for the sheet that holds it.
    int widest = connectButton_->sizeHint().width();
    for (const QWidget* w : {static_cast<QWidget*>(sourcesLabel_), static_cast<QWidget*>(destinationsLabel_), sourcesMatrix_, destinationsMatrix_})
        widest = std::max(widest, w->width());
    setMinimumSize(widest + 40, height);
    resize(width(), height);
}
