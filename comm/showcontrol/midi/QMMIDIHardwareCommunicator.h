#pragma once
// The MIDI communicator (type 4, "CoreMIDI Device"): owns a QMMidiManager, keeps the names of
// the sources the user ticked to listen to and the destinations to send to (names of devices
// that are absent stay selected), and hands every received message to its parser.
//
// The setup view's state (rows, ticks, layout) is kept here so that any view, or a test, can
// drive it; setupChanged() tells the view to show it again.
//
// Threads: everything runs on the main thread except receivedMidiMessages, which runs on the
// MIDI receive thread and only hands the messages to the parser.
#include "comm/core/QMHardwareCommunicator.h"
#include "comm/core/QMParserProtocols.h"
#include "comm/showcontrol/midi/QMMidiManager.h"

#include <QStringList>

#include <memory>
#include <optional>

class QMMIDIHardwareCommunicator : public QMHardwareCommunicator, public QMMidiManagerDelegate {
    Q_OBJECT
public:
    // One check-box row of the setup view.
    struct SetupRow {
        QString title;
        std::optional<QString> name; // the represented node name; none for the virtual output
        bool on = false;
        bool enabled = true;
        bool operator==(const SetupRow&) const = default;
    };
    // Vertical positions from the bottom of the setup view, and its height.
    struct SetupLayout {
        int destinationsMatrixY = 0;
        int destinationsLabelY = 0;
        int sourcesMatrixY = 0;
        int sourcesLabelY = 0;
        int height = 0;
    };

    QMMIDIHardwareCommunicator();
    ~QMMIDIHardwareCommunicator() override;

    static const QMHardwareCommunicatorClass& midiClass();
    // initWithXML: selections from an element named "QMMIDIHardwareCommunicator".
    static std::shared_ptr<QMHardwareCommunicator> fromXML(const platform::XmlElement& element);
    void readConnectionProperties(const platform::XmlElement& element) override;

    const QMHardwareCommunicatorClass& communicatorClass() const override { return midiClass(); }
    unsigned communicatorType() const override { return QMCommunicatorTypeMIDI; }
    std::optional<platform::XmlElement> serializedConnectionProperties() const override;
    // Refused, with failureReason(), where there is no MIDI system.
    void activate() override;
    void deactivate() override;
    // Applies the selection to the rows and, while active, to the nodes.
    void updateFromConfig() override;
    // "In: %ld/%ld Out: %ld/%ld"; the output count includes the virtual output where there is one.
    void updateDisplayName();

    std::shared_ptr<QMMIDIProtocolParser> MIDIParser() const;
    QMMidiManager& midiManager() { return *midiManager_; }
    QStringList selectedSources() const { return selectedSources_; }
    QStringList selectedDests() const { return selectedDests_; }

    // Sends to every enabled destination; a message none would carry is logged with the reason.
    void sendMIDIMessage(const QMMidiMessage& message);
    // Channels are 0-15; any other channel is refused (it would change the status byte).
    void sendMIDINoteOnForChannel(std::uint32_t channel, std::uint32_t note, std::uint32_t intensity);
    void sendMIDINoteOffForChannel(std::uint32_t channel, std::uint32_t note, std::uint32_t intensity);

    // --- QMMidiManagerDelegate ---
    void updatedMidiInputSources() override;
    void updatedMidiOutputDestinations() override;
    void receivedMidiMessages(const std::vector<QMMidiMessage>& messages) override;

    // --- setup view ---
    QWidget* setupView() override;
    void connectAction() { activate(); }
    // Rebuilds the rows from the manager's nodes.
    void setupInterface();
    const QList<SetupRow>& sourceRows() const { return sourceRows_; }
    const QList<SetupRow>& destinationRows() const { return destinationRows_; }
    // The user ticked (on) or unticked a row.
    void sourcesMatrixAction(int row, bool on);
    void destinationsMatrixAction(int row, bool on);
    // From the bottom: 20, destinations, 8, label, 20, sources, 8, label, 20.
    static SetupLayout layoutInterface(int sourcesLabelHeight, int sourcesMatrixHeight, int destinationsLabelHeight,
                                       int destinationsMatrixHeight);

signals:
    void setupChanged();

private:
    // Why a message would reach no destination now; empty when one is enabled.
    QString whyNotSent() const;
    void sendNote(std::uint8_t type, std::uint32_t channel, std::uint32_t note, std::uint32_t intensity);
    // The selected nodes are enabled when on is true; every other node is disabled.
    void enableSelectedNodes(bool on);
    void applyTick(QStringList& selection, QMMidiNode& node, const QString& name, bool on);

    std::unique_ptr<QMMidiManager> midiManager_;
    QStringList selectedSources_;
    QStringList selectedDests_;
    QList<SetupRow> sourceRows_;
    QList<SetupRow> destinationRows_;
};
