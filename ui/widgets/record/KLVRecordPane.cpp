#include "ui/widgets/record/KLVRecordPane.h"

#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelRecord.h"
#include "ui/logic/channel/KLVChannelTexts.h"
#include "ui/widgets/common/KLVControlNames.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

void setTextKeepingEdits(QLineEdit* field, const QString& text)
{
    if (!field->hasFocus() && field->text() != text)
        field->setText(text);
}

} // namespace

KLVRecordPane::KLVRecordPane(KLVChannelController& channel, QWidget* parent) : QWidget(parent), channel_(channel)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(setup_ = buildSetup());
    layout->addWidget(attributes_ = buildAttributes());
    layout->addWidget(controls_ = buildControls());
    connect(&channel_, &KLVChannelController::stateChanged, this, &KLVRecordPane::refresh);
    refresh();
}

QWidget* KLVRecordPane::buildSetup()
{
    auto* pane = new QWidget(this);
    auto* form = new QFormLayout(pane);
    KLVChannelRecord& record = channel_.record();

    auto* locationRow = new QHBoxLayout;
    location_ = new QLineEdit(pane);
    KLVControlNames::name(location_, "QM_RECORD_LOCATION");
    auto* choose = new QPushButton(KLVChannelTexts::localized("QM_CHOOSE"), pane);
    locationRow->addWidget(location_, 1);
    locationRow->addWidget(choose);
    form->addRow(KLVChannelTexts::localized("QM_LOCATION"), locationRow);
    fileName_ = new QLineEdit(pane);
    form->addRow(KLVChannelTexts::localized("QM_FILENAME"), fileName_);
    duration_ = new QLineEdit(pane);
    duration_->setPlaceholderText(QStringLiteral("00:00:00"));
    form->addRow(KLVChannelTexts::localized("QM_DURATION"), duration_);
    channels_ = new QSpinBox(pane);
    channels_->setRange(2, 16);
    form->addRow(KLVChannelTexts::localized("QM_AUDIO_CHANNELS"), channels_);
    space_ = new QLabel(pane);
    space_->setWordWrap(true);
    form->addRow(space_);
    prepare_ = new QPushButton(KLVChannelTexts::localized("QM_PREPARE"), pane);
    form->addRow(prepare_);

    connect(location_, &QLineEdit::editingFinished, this, [this] {
        channel_.record().setRecordingDirectory(location_->text().trimmed());
        channel_.record().updateFileSizeDescription(false);
    });
    connect(fileName_, &QLineEdit::editingFinished, this,
            [this] { channel_.record().setRecordingFileName(fileName_->text()); });
    connect(duration_, &QLineEdit::editingFinished, this, [this] {
        channel_.record().setRecordingDuration(duration_->text());
        duration_->setText(channel_.record().recordingDurationText());
    });
    connect(channels_, &QSpinBox::valueChanged, this, [this](int n) {
        if (n != channel_.record().audioChannelCount())
            channel_.record().setAudioChannelCount(n);
    });
    connect(choose, &QPushButton::clicked, this, [this] { channel_.record().setLocationOfRecordingFile(); });
    connect(prepare_, &QPushButton::clicked, this, [this, &record] {
        // Fields being edited count as entered.
        record.setRecordingDirectory(location_->text().trimmed());
        record.setRecordingFileName(fileName_->text());
        record.setRecordingDuration(duration_->text());
        record.prepareRecordSession();
    });
    return pane;
}

QWidget* KLVRecordPane::buildAttributes()
{
    auto* pane = new QWidget(this);
    auto* form = new QFormLayout(pane);
    form->addRow(KLVChannelTexts::localized("QM_COMPRESSION"), compression_ = new QLabel(pane));
    form->addRow(KLVChannelTexts::localized("QM_AUDIO_CHANNELS"), audio_ = new QLabel(pane));
    form->addRow(KLVChannelTexts::localized("QM_DURATION"), staticDuration_ = new QLabel(pane));
    return pane;
}

QWidget* KLVRecordPane::buildControls()
{
    auto* pane = new QWidget(this);
    auto* layout = new QVBoxLayout(pane);
    auto* buttons = new QHBoxLayout;
    record_ = new QPushButton(pane);
    record_->setCheckable(true);
    KLVControlNames::name(record_, "QM_RECORD");
    auto* stop = new QPushButton(KLVChannelTexts::localized("QM_STOP"), pane);
    auto* cancel = new QPushButton(KLVChannelTexts::localized("QM_CANCEL"), pane);
    auto* reveal = new QPushButton(KLVChannelTexts::localized("QM_SHOW_IN_FOLDER"), pane);
    for (QPushButton* b : {record_, stop, cancel, reveal})
        buttons->addWidget(b);
    layout->addLayout(buttons);
    auto* times = new QFormLayout;
    times->addRow(KLVChannelTexts::localized("QM_ELAPSED"), elapsed_ = new QLabel(pane));
    times->addRow(KLVChannelTexts::localized("QM_REMAINING"), remaining_ = new QLabel(pane));
    layout->addLayout(times);
    log_ = new QPlainTextEdit(pane);
    log_->setReadOnly(true);
    log_->setAccessibleName(KLVChannelTexts::localized("QM_RECORD_LOG"));
    layout->addWidget(log_, 1);

    // Toggled, not clicked: the accessibility interface's only action on a checkable button is
    // Toggle, which changes the check without a click. refresh() shows the state with signals
    // blocked.
    connect(record_, &QPushButton::toggled, this, [this] {
        channel_.record().recordButtonAction();
        refresh();
    });
    connect(stop, &QPushButton::clicked, this, [this] { channel_.record().recordingStopButtonAction(); });
    connect(cancel, &QPushButton::clicked, this, [this] { channel_.record().cancelCurrentRecording(); });
    connect(reveal, &QPushButton::clicked, this, [this] { channel_.record().revealInFinder(); });
    return pane;
}

void KLVRecordPane::refresh()
{
    KLVChannelRecord& record = channel_.record();
    setTextKeepingEdits(location_, record.recordingDirectory());
    setTextKeepingEdits(fileName_, record.recordingFileName());
    setTextKeepingEdits(duration_, record.recordingDurationText());
    {
        const QSignalBlocker block(channels_);
        channels_->setValue(std::clamp(record.audioChannelCount(), 2, 16));
    }
    QPalette locationPalette = location_->palette();
    locationPalette.setColor(QPalette::Text, record.prepareEnabled() ? palette().color(QPalette::Text) : QColor(Qt::red));
    location_->setPalette(locationPalette);
    prepare_->setEnabled(record.prepareEnabled() && !record.isRecording());
    // What keeps the channel from recording comes before the space it would take.
    const QString problem = record.inputProblem();
    space_->setText(problem.isEmpty() ? record.fileSizeDescription() : problem);
    space_->setStyleSheet(record.fileSizeWarning() || !problem.isEmpty() ? QStringLiteral("color: red") : QString());

    const bool ready = record.isReadyToRecord();
    setup_->setVisible(!ready);
    attributes_->setVisible(ready);
    controls_->setVisible(ready);
    compression_->setText(record.compressionLabel());
    audio_->setText(record.audioChannelsLabel());
    staticDuration_->setText(record.durationLabel());
    {
        const QSignalBlocker block(record_);
        record_->setChecked(record.isRecording());
    }
    // The record button's picture: on while recording.
    record_->setText(record.isRecording() ? QStringLiteral("\u25CF REC") : QStringLiteral("\u25CB REC"));
    record_->setProperty("recordOn", record.isRecording());
    elapsed_->setText(record.elapsedText());
    remaining_->setText(record.remainingText());
    // The log's lines end in carriage returns.
    QString log = record.recordLog();
    log.replace(u'\r', u'\n');
    if (log_->toPlainText() != log)
        log_->setPlainText(log);
}
