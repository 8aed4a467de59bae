#pragma once
// The preferences window: a "general" tab with the reporting switches and a "communications" tab
// with the control-device list (each device's link and state), the add-device pop-up and the
// device buttons. A device just added opens its configuration sheet; the list follows the
// connection manager's model. A device whose protocol sends commands offers them on its row's
// context menu and on the Commands button; under the list sits the selected device's control
// view when its protocol has one in the role it plays.

#include <QMenu>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>

class QComboBox;
class QListView;
class QPushButton;
class QTabWidget;
class QMCommModuleConnectionManager;
class QMCommModuleConnectionWrapper;
class QMCommunicationModuleController;
class QMProtocolParser;
class KLVDeviceConfigSheet;
class KLVGeneralPreferencesPane;

class KLVPreferencesController : public QWidget {
    Q_OBJECT
public:
    KLVPreferencesController(QMCommModuleConnectionManager& manager, QMCommunicationModuleController& controller,
                         QWidget* parent = nullptr);

    // Toolbar: tag 1 the general tab, tag 2 the communications tab; other tags nothing.
    void toolbarAction(int tag);
    // Refills the add-device pop-up from the module's parser classes.
    void reloadLoadedModules();
    void serializeDevicesAction();
    // Removes the device (which disconnects it) and saves.
    void closeCommDeviceConfig(QMCommModuleConnectionWrapper* wrapper);
    // Opens the device's configuration sheet over this window.
    KLVDeviceConfigSheet* configureAction(QMCommModuleConnectionWrapper* wrapper);

    QTabWidget* mainTabView() const { return tabs_; }
    KLVGeneralPreferencesPane* generalPane() const { return general_; }
    QComboBox* addPopupButton() const { return addPopup_; }
    QListView* deviceList() const { return list_; }
    KLVDeviceConfigSheet* openSheet() const { return sheet_; }
    QPushButton* commandsButton() const { return commands_; }
    // The command menu now shown (from the button or a row's context menu), or null.
    QMenu* commandMenu() const { return commandMenu_; }
    // The selected device's control view, or null.
    QWidget* controlView() const { return controlView_; }

private:
    QMCommModuleConnectionWrapper* selectedWrapper() const;
    // Closes the open sheet without saving.
    void dismissSheet();
    void updateButtons();
    // Pops up the device's command menu at a global position.
    void showCommandMenu(QMCommModuleConnectionWrapper* wrapper, const QPoint& at);
    // Shows the selected device's control view, making it anew when the device or its role changed.
    void updateControlView();
    // Selects the row (none when negative) in the list and the model alike.
    void selectRow(int row);

    QMCommModuleConnectionManager& manager_;
    QMCommunicationModuleController& controller_;
    QTabWidget* tabs_;
    KLVGeneralPreferencesPane* general_;
    QComboBox* addPopup_;
    QListView* list_;
    QPushButton* configure_;
    QPushButton* connect_;
    QPushButton* remove_;
    QPushButton* commands_;
    QWidget* controlHost_;
    QPointer<QMenu> commandMenu_;
    QPointer<QWidget> controlView_;
    // What the control view was made for: the parser in its role then.
    std::weak_ptr<QMProtocolParser> controlParser_;
    std::uint64_t controlBehavior_ = 0;
    KLVDeviceConfigSheet* sheet_ = nullptr;
};
