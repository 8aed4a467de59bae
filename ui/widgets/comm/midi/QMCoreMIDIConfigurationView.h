#pragma once
// The MIDI device's setup view: a column of check boxes for the sources to listen to, one for the
// destinations to send to (the first, always ticked and disabled, stands for this program's own
// virtual output), and a Connect button. It shows the communicator's rows and hands every tick to
// the communicator; it holds no state of its own. The application's setup-view provider makes it
// for communicators of type QMMIDIHardwareCommunicator.
#include <QList>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QMMIDIHardwareCommunicator;

class QMCoreMIDIConfigurationView : public QWidget {
    Q_OBJECT
public:
    explicit QMCoreMIDIConfigurationView(QMMIDIHardwareCommunicator& communicator, QWidget* parent = nullptr);

    // Shows the communicator's current rows and lays the controls out.
    void refresh();
    const QList<QCheckBox*>& sourceBoxes() const { return sourceBoxes_; }
    const QList<QCheckBox*>& destinationBoxes() const { return destinationBoxes_; }

private:
    void rebuild(QList<QCheckBox*>& boxes, QWidget* matrix, bool sources);
    void layOut();

    QMMIDIHardwareCommunicator& communicator_;
    QLabel* sourcesLabel_;
    QLabel* destinationsLabel_;
    QWidget* sourcesMatrix_;
    QWidget* destinationsMatrix_;
    QPushButton* connectButton_;
    QList<QCheckBox*> sourceBoxes_;
    QList<QCheckBox*> destinationBoxes_;
};
