#pragma once
// A channel column's record view: the setup pane (location, file name, duration, audio channels,
// Prepare and the space line), the attributes of the prepared recording and the controls (record,
// stop, cancel, reveal, elapsed and remaining time, the record log). Shows KLVChannelRecord and
// sends it the operator's actions; the setup pane gives way to the other two once prepared.

#include <QWidget>

class KLVChannelController;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

class KLVRecordPane final : public QWidget {
    Q_OBJECT
public:
    explicit KLVRecordPane(KLVChannelController& channel, QWidget* parent = nullptr);

    QWidget* setupPane() const { return setup_; }
    QWidget* attributesPane() const { return attributes_; }
    QWidget* controlsPane() const { return controls_; }
    QLineEdit* locationField() const { return location_; }
    QLineEdit* fileNameField() const { return fileName_; }
    QLineEdit* durationField() const { return duration_; }
    QPushButton* prepareButton() const { return prepare_; }
    QPushButton* recordButton() const { return record_; }
    QLabel* spaceLine() const { return space_; }
    QLabel* elapsedField() const { return elapsed_; }
    QLabel* remainingField() const { return remaining_; }

    // Re-reads the channel's record state.
    void refresh();

private:
    QWidget* buildSetup();
    QWidget* buildAttributes();
    QWidget* buildControls();

    KLVChannelController& channel_;
    QWidget* setup_ = nullptr;
    QWidget* attributes_ = nullptr;
    QWidget* controls_ = nullptr;
    QLineEdit* location_ = nullptr;
    QLineEdit* fileName_ = nullptr;
    QLineEdit* duration_ = nullptr;
    QSpinBox* channels_ = nullptr;
    QPushButton* prepare_ = nullptr;
    QLabel* space_ = nullptr;
    QLabel* compression_ = nullptr;
    QLabel* audio_ = nullptr;
    QLabel* staticDuration_ = nullptr;
    QPushButton* record_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QLabel* remaining_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
};
