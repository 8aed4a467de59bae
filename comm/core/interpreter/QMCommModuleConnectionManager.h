#pragma once
// The application's command interpreter and the owner of the configured control devices.
//
// Interpreter: every parser's decoded command reaches it through the module controller; it picks
// the addressed channel (a port name matching a channel label, else the sending device's
// configured channel, else a non-zero port number as a channel tag) and drives that channel, or,
// for transport that addresses no channel, every channel at once. Work runs on the main thread:
// a call from another thread (a media-server parser answering from its own queue) waits there
// for the main thread, so the channels and the device list are only ever touched on main.
//
// Device list: kept in a list model with selection, saved to "commModuleDevices.xml" in the
// application data folder, read once on the event-loop turn after creation, and the devices
// marked for it reconnected one after another (the n-th n seconds after loading).
//
// Rates sent with playAtRate: a shuttle or fast play comes through as the speed (a bare speed
// on rewind or fast forward, without a direction, is a fast search of at least 5x); rewind sends
// the negated rate. The movie controller treats rate < 0 as rewind, rate > 1 as fast forward
// and 0 as pause, so a reverse shuttle never plays forwards.
#include "comm/core/QMApplicationCommandInterpreting.h"
#include "comm/core/interpreter/QMConnectionWrapperListModel.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <memory>

class KLVChannelControlling;
class KLVChannelProviding;
class KLVMovieDelegate;
class QMCommunicationModuleController;
class QMProtocolParser;
class QMProtocolParserClass;

// User defaults read by the interpreter.
inline constexpr char QMAppUUIDKey[] = "appUUID";
inline constexpr char QMDMXBaseAddress[] = "QMDMXBaseAddress";
inline constexpr char QMCommModuleUse8CharNames[] = "QMCommModuleUse8CharNames";

// The device file's name in the application data folder.
inline constexpr char QMCommModuleDevicesFileName[] = "commModuleDevices.xml";

// One entry of a device's outgoing-command menu.
struct QMCommandMenuItem {
    QString title;   // QMProtocolCommandKeyDisplayName
    QString toolTip; // QMProtocolCommandKeyDescription
    QVariantMap descriptor;
};

// A device's outgoing-command menu: titled with the device's ID, entries in command index order.
struct QMCommandMenu {
    QString title;
    QList<QMCommandMenuItem> items;
};

class QMCommModuleConnectionManager : public QObject, public QMApplicationCommandInterpreting {
    Q_OBJECT
public:
    // Schedules delayedInit for the next turn of the main event loop.
    explicit QMCommModuleConnectionManager(QString appDataDirectory, QObject* parent = nullptr);
    ~QMCommModuleConnectionManager() override;

    // --- collaborators (main thread; neither is owned) ---
    KLVChannelProviding* delegate() const { return delegate_; }
    void setDelegate(KLVChannelProviding* delegate) { delegate_ = delegate; }
    QMCommunicationModuleController* commModuleController() const { return commModuleController_; }
    void setCommModuleController(QMCommunicationModuleController* controller) { commModuleController_ = controller; }

    // --- interpreter (any thread; runs on the main thread) ---
    Answer interpretApplicationInfo(const Params& params) override;
    bool interpretTransportStop(const Params& params) override;
    bool interpretTransportPlay(const Params& params) override;
    bool interpretTransportPause(const Params& params) override;
    bool interpretTransportRewind(const Params& params) override;
    bool interpretTransportFastForward(const Params& params) override;
    bool interpretTransportStep(const Params& params) override;
    bool interpretCueMedia(const Params& params) override;
    Answer interpretGetCuedMedia(const Params& params) override;
    Answer interpretListMedia(const Params& params) override;
    // Received but not carried out: logged once per kind, then ignored.
    bool interpretDMXValuesChanged(const Params& params) override;
    bool interpretMIDINote(const Params& params) override;
    bool interpretMIDINotes(const Params& params) override;
    Answer currentApplicationState() override;
    Answer currentApplicationStateForParams(const Params& params) override;
    // No command name reaches these through the module controller.
    void interpretTransportGotoBeginning(const Params& params);
    void interpretTransportGotoEnd(const Params& params);

    // Routing (main thread). The controller form: the addressed channel, or null. The target
    // form: the addressed channel's movie controller, the all-channels target when no channel is
    // addressed, or null when the addressed tag has no channel.
    KLVChannelControlling* channelControllerForParams(const Params& params) const;
    KLVMovieDelegate* movieControllerForParams(const Params& params) const;

    // --- device list (main thread) ---
    QString appDataDirectory() const { return appDataDirectory_; }
    QString devicesFilePath() const;
    QMConnectionWrapperListModel& connectionWrappersArrayController() { return wrappers_; }
    const QMConnectionWrapperListModel& connectionWrappersArrayController() const { return wrappers_; }
    // The last selected device, or null.
    QMCommModuleConnectionWrapper* selectedConnectionWrapper() const;
    bool hasDeserialized() const { return hasDeserialized_; }
    bool isCommunicationsModuleEnabled() const { return true; }

    void delayedInit();
    void handleModulesUpdated();
    void deserializeDevices();
    // False (logged) when the file could not be written; the list is unchanged either way.
    bool serializeDevices();
    void serializeDevicesAction() { serializeDevices(); }

    // Wraps a newly activated parser (labelled with its protocol, new ID, reconnect on) and
    // appends it.
    QMCommModuleConnectionWrapper* connectionWrapperForParser(std::shared_ptr<QMProtocolParser> parser);
    // The user adds a device of this parser class: null, and nothing added, when the module
    // controller cannot make the parser. Saves, then asks for the configuration sheet on a later
    // turn (configureDeviceRequested).
    QMCommModuleConnectionWrapper* addDevice(const QMProtocolParserClass& parserClass);
    // Removes (which disconnects) the device and saves.
    void removeDevice(QMCommModuleConnectionWrapper* wrapper);
    QMCommModuleConnectionWrapper* findWrapperWithID(const QString& deviceID) const;
    QMCommModuleConnectionWrapper* findWrapperWithParser(const QMProtocolParser* parser) const;
    // The device's outgoing commands, or nothing when its parser offers none.
    std::optional<QMCommandMenu> cueSubmenuForWrapper(const QMCommModuleConnectionWrapper* wrapper) const;

signals:
    void selectedConnectionWrapperChanged();
    // A device was just added by the user; the preferences window opens its configuration sheet.
    void configureDeviceRequested(QMCommModuleConnectionWrapper* wrapper);
    // "QMModulesDidUpdate": the device list was read, or a device added or removed.
    void modulesDidUpdate();

private:
    struct Route {
        bool addressed = false;                 // the command names a channel
        KLVChannelControlling* channel = nullptr; // null when that channel does not exist
    };
    Route route(const Params& params) const;
    KLVMovieDelegate* target(const Route& route) const;
    // The device whose parser sent the command (by identity), or null.
    QMCommModuleConnectionWrapper* sendingDevice(const Params& params) const;
    void transport(const Params& params, void (KLVChannelControlling::*master)(void*), void (KLVMovieDelegate::*single)(), bool play);
    void onTarget(const Params& params, void (KLVMovieDelegate::*operation)());
    void shuttle(const Params& params, float direction, void (KLVMovieDelegate::*plain)());
    QVariantMap applicationInfo() const;
    // The layer's DMX source as consoles read it ("ArtNet/<net>/<universe>/<channel>"), or empty
    // without an Art-Net device.
    QString artNetAddress() const;
    QVariantMap cuedMedia(const Params& params, bool* answered) const;
    QVariantMap listMedia(const Params& params) const;
    QVariantMap stateForParams(const Params& params) const;
    void cueMedia(const Params& params);
    void keepUnreadableFile(const QString& path) const;
    enum class IgnoredKind : unsigned { DMX = 1, MIDINote = 2, MIDINotes = 4 };
    bool ignore(IgnoredKind kind, const char* command, const Params& params);

    QString appDataDirectory_;
    QMConnectionWrapperListModel wrappers_;
    KLVChannelProviding* delegate_ = nullptr;
    QMCommunicationModuleController* commModuleController_ = nullptr;
    bool hasDeserialized_ = false;
    std::atomic<unsigned> loggedIgnoredKinds_{0};
};
