#pragma once
// The configuration sheet of one control device, without its widgets: the hardware types the
// device's protocol runs over and the behaviours it offers (device or controller), the choices
// made automatically when there is only one, the communicator a choice puts in place (the one it
// replaces is deactivated first, so no port stays taken), and saving, which refuses settings that
// cannot work and reports a device that then cannot open its port.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include "platform/foundation/Xml.h"

#include <cstdint>
#include <memory>
#include <optional>

class QMCommModuleConnectionManager;
class QMCommModuleConnectionWrapper;
class QMHardwareCommunicator;
class QMHardwareCommunicatorClass;

class KLVDeviceConfiguration : public QObject {
    Q_OBJECT
public:
    // Behaviour tags (and bits of a protocol's behaviour mask).
    static constexpr int kBehaviorController = 1;
    static constexpr int kBehaviorDevice = 4;

    struct HardwareItem {
        QString title;
        const QMHardwareCommunicatorClass* communicatorClass = nullptr;
    };
    struct BehaviorItem {
        int tag = 0;
        QString title;
    };
    struct SaveResult {
        bool saved = false;  // settings valid and the device file written
        QString message;     // why not, or why the device is not connected
    };

    KLVDeviceConfiguration(QMCommModuleConnectionWrapper& wrapper, QMCommModuleConnectionManager& manager,
                           QObject* parent = nullptr);

    QMCommModuleConnectionWrapper& wrapper() const { return wrapper_; }
    std::shared_ptr<QMHardwareCommunicator> communicator() const;
    QStringList channelNames() const;

    // Fills both menus and makes the automatic choices.
    void open();
    const QList<HardwareItem>& hardwareItems() const { return hardware_; }
    const QList<BehaviorItem>& behaviorItems() const { return behaviors_; }
    int selectedHardware() const { return selectedHardware_; } // -1: none
    int selectedBehavior() const { return selectedBehavior_; } // -1: none
    // The user's choices; either may put another communicator in place.
    void chooseHardware(int index);
    void chooseBehavior(int index);
    // Gives the parser a communicator of this class and behaviour unless it has exactly that
    // already; true when it was replaced.
    bool loadConfigViewForHardware(const QMHardwareCommunicatorClass& communicatorClass, std::uint64_t behavior);

    // The reason the current settings cannot be saved; empty when they can.
    QString validationError() const;
    // Takes over the setup view's values and writes the device file; with the reconnect flag set
    // the device is connected and a port that cannot be opened is reported.
    SaveResult save();
    // Dismissing: the device as it was when the sheet opened or last saved, its link with the
    // same settings, open or closed as it was then. A link that stayed open keeps running
    // throughout.
    void revert();

signals:
    // Another communicator is in place: show its setup view.
    void communicatorChanged();
    void menusChanged();

private:
    struct Remembered {
        QString label;
        bool reconnect = false;
        long channel = 0;
        std::uint64_t behavior = 0;
        // Not kept alive: a link the user replaced goes at once, as it always has; dismissing
        // makes it again from its element.
        std::weak_ptr<QMHardwareCommunicator> communicator;
        const QMHardwareCommunicatorClass* communicatorClass = nullptr;
        std::optional<platform::XmlElement> link;
        QByteArray settings; // the link element as the device file holds it
        bool connected = false;
    };
    void remember();
    void installCommunicator(std::shared_ptr<QMHardwareCommunicator> communicator, std::uint64_t behavior);
    void updateHardwareMenu();
    void updateBehaviorMenu();
    void chooseHardwareOrBehavior(bool fromUser);

    QMCommModuleConnectionWrapper& wrapper_;
    QMCommModuleConnectionManager& manager_;
    QList<HardwareItem> hardware_;
    QList<BehaviorItem> behaviors_;
    int selectedHardware_ = -1;
    int selectedBehavior_ = -1;
    Remembered opened_;
};
