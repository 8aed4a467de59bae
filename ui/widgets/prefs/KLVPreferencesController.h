#pragma once
// The preferences window: a "general" tab with the reporting switches and a "communications" tab
// with the control-device list (each device's link and state), the add-device pop-up and the
// device buttons. A device just added opens its configuration sheet; the list follows the
// connection manager's model.

#include <QWidget>

class QComboBox;
class QListView;
class QPushButton;
class QTabWidget;
class QMCommModuleConnectionManager;
class QMCommModuleConnectionWrapper;
class QMCommunicationModuleController;
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

private:
    QMCommModuleConnectionWrapper* selectedWrapper() const;
    // Closes the open sheet without saving.
    void dismissSheet();
    void updateButtons();
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
    KLVDeviceConfigSheet* sheet_ = nullptr;
};
