#include "ui/widgets/prefs/KLVPreferencesController.h"

#include "app/util/KLVUtilities.h"
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "ui/logic/prefs/KLVAddDeviceItems.h"
#include "comm/core/QMProtocolParser.h"
#include "ui/logic/prefs/KLVDeviceConfiguration.h"
#include "ui/widgets/prefs/KLVControlViews.h"
#include "ui/widgets/prefs/KLVDeviceCommandMenu.h"
#include "ui/widgets/prefs/KLVDeviceConfigSheet.h"
#include "ui/widgets/prefs/KLVDeviceListDelegate.h"
#include "ui/widgets/prefs/KLVGeneralPreferencesPane.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

KLVPreferencesController::KLVPreferencesController(QMCommModuleConnectionManager& manager,
                                                   QMCommunicationModuleController& controller, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , manager_(manager)
    , controller_(controller)
    , tabs_(new QTabWidget(this))
    , general_(new KLVGeneralPreferencesPane)
    , addPopup_(new QComboBox(this))
    , list_(new QListView(this))
    , configure_(new QPushButton(tr("Configure…"), this))
    , connect_(new QPushButton(tr("Connect"), this))
    , remove_(new QPushButton(tr("Remove"), this))
    , commands_(new QPushButton(tr("Commands"), this))
    , controlHost_(new QWidget(this))
{
    setWindowTitle(tr("Preferences"));
    resize(640, 480); // room for a device's link and state on one line
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);

    tabs_->addTab(general_, tr("General"));

    auto* communications = new QWidget;
    communications->setObjectName(QStringLiteral("communications"));
    auto* comm = new QVBoxLayout(communications);
    comm->addWidget(addPopup_);
    comm->addWidget(list_);
    auto* controlLayout = new QVBoxLayout(controlHost_);
    controlLayout->setContentsMargins(0, 0, 0, 0);
    comm->addWidget(controlHost_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(configure_);
    buttons->addWidget(connect_);
    buttons->addWidget(commands_);
    buttons->addStretch();
    buttons->addWidget(remove_);
    comm->addLayout(buttons);
    tabs_->addTab(communications, tr("Communications"));

    QMConnectionWrapperListModel& model = manager_.connectionWrappersArrayController();
    list_->setModel(&model);
    list_->setItemDelegate(new KLVDeviceListDelegate(model, list_));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, &model] {
        QList<int> rows;
        for (const QModelIndex& index : list_->selectionModel()->selectedRows())
            rows << index.row();
        model.setSelectionIndexes(rows);
        updateButtons();
    });
    connect(&model, &QAbstractItemModel::dataChanged, this, &KLVPreferencesController::updateButtons);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, &KLVPreferencesController::updateButtons);
    connect(addPopup_, &QComboBox::activated, this, [this](int index) {
        const auto* parserClass = static_cast<const QMProtocolParserClass*>(addPopup_->itemData(index).value<void*>());
        addPopup_->setCurrentIndex(0);
        if (parserClass)
            manager_.addDevice(*parserClass);
    });
    connect(configure_, &QPushButton::clicked, this, [this] {
        if (QMCommModuleConnectionWrapper* w = selectedWrapper())
            configureAction(w);
    });
    connect(connect_, &QPushButton::clicked, this, [this] {
        if (QMCommModuleConnectionWrapper* w = selectedWrapper())
            w->isConnected() ? w->disconnectAction() : w->connectAction();
        updateButtons();
    });
    connect(remove_, &QPushButton::clicked, this, [this] { closeCommDeviceConfig(selectedWrapper()); });
    connect(commands_, &QPushButton::clicked, this,
            [this] { showCommandMenu(selectedWrapper(), commands_->mapToGlobal(QPoint(0, commands_->height()))); });
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, [this, &model](const QPoint& pos) {
        const QModelIndex index = list_->indexAt(pos);
        if (!index.isValid())
            return;
        list_->setCurrentIndex(index);
        showCommandMenu(model.at(index.row()), list_->viewport()->mapToGlobal(pos));
    });
    connect(&manager_, &QMCommModuleConnectionManager::configureDeviceRequested, this,
            [this](QMCommModuleConnectionWrapper* w) { configureAction(w); });
    connect(&manager_, &QMCommModuleConnectionManager::modulesDidUpdate, this, &KLVPreferencesController::reloadLoadedModules);

    reloadLoadedModules();
    tabs_->setCurrentIndex(0);
    updateButtons();
}

void KLVPreferencesController::toolbarAction(int tag)
{
    if (tag == 1)
        tabs_->setCurrentIndex(0);
    else if (tag == 2)
        tabs_->setCurrentIndex(1);
}

void KLVPreferencesController::reloadLoadedModules()
{
    addPopup_->clear();
    addPopup_->addItem(KLVUtilities::localized("QM_ADD_DEVICE", tr("Add Device")));
    const auto parsers = controller_.availableParsers();
    for (const KLVAddDeviceItems::Item& item : KLVAddDeviceItems::itemsForParsers(parsers.value_or(QList<const QMProtocolParserClass*>())))
        addPopup_->addItem(item.title, QVariant::fromValue(static_cast<void*>(const_cast<QMProtocolParserClass*>(item.parserClass))));
    addPopup_->setCurrentIndex(0);
}

void KLVPreferencesController::serializeDevicesAction()
{
    manager_.serializeDevicesAction();
}

void KLVPreferencesController::closeCommDeviceConfig(QMCommModuleConnectionWrapper* wrapper)
{
    if (!wrapper)
        return;
    if (sheet_ && &sheet_->configuration().wrapper() == wrapper)
        dismissSheet();
    const int row = manager_.connectionWrappersArrayController().rowOf(wrapper);
    manager_.removeDevice(wrapper);
    selectRow(std::min(row, manager_.connectionWrappersArrayController().rowCount() - 1));
}

void KLVPreferencesController::selectRow(int row)
{
    // The view moves its current row on by itself; the selection, and so the buttons, follow
    // only when told.
    QMConnectionWrapperListModel& model = manager_.connectionWrappersArrayController();
    if (row < 0) {
        list_->selectionModel()->clearSelection();
        model.setSelectionIndexes({});
    } else {
        list_->selectionModel()->setCurrentIndex(model.index(row), QItemSelectionModel::ClearAndSelect);
        model.setSelectionIndexes({row});
    }
    updateButtons();
}

KLVDeviceConfigSheet* KLVPreferencesController::configureAction(QMCommModuleConnectionWrapper* wrapper)
{
    if (!wrapper)
        return nullptr;
    dismissSheet();
    toolbarAction(2);
    sheet_ = new KLVDeviceConfigSheet(*wrapper, manager_, this);
    connect(sheet_, &QDialog::finished, this, [this] {
        if (sheet_)
            sheet_->deleteLater();
        sheet_ = nullptr;
        updateButtons();
    });
    sheet_->open();
    return sheet_;
}

void KLVPreferencesController::dismissSheet()
{
    if (KLVDeviceConfigSheet* sheet = std::exchange(sheet_, nullptr)) {
        sheet->disconnect(this);
        sheet->reject();
        sheet->deleteLater();
    }
}

QMCommModuleConnectionWrapper* KLVPreferencesController::selectedWrapper() const
{
    return manager_.selectedConnectionWrapper();
}

void KLVPreferencesController::updateButtons()
{
    QMCommModuleConnectionWrapper* w = selectedWrapper();
    configure_->setEnabled(w);
    remove_->setEnabled(w);
    connect_->setEnabled(w && w->isConfigured());
    // The list shows the state; the button says what pressing it does.
    connect_->setText(w && w->isConnected() ? tr("Disconnect") : tr("Connect"));
    const bool sends = w && manager_.cueSubmenuForWrapper(w).has_value();
    commands_->setEnabled(sends);
    if (!sends)
        commands_->setToolTip(w ? tr("This device sends no commands.") : QString());
    else
        commands_->setToolTip(w->isConnected() ? tr("Send a command to the device.") : tr("Connect the device to send its commands."));
    updateControlView();
}

void KLVPreferencesController::showCommandMenu(QMCommModuleConnectionWrapper* wrapper, const QPoint& at)
{
    if (commandMenu_)
        commandMenu_->close();
    if (!wrapper)
        return;
    QMenu* menu = KLVDeviceCommandMenu::create(manager_, *wrapper, this);
    if (!menu)
        return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    commandMenu_ = menu;
    menu->popup(at);
}

void KLVPreferencesController::updateControlView()
{
    QMCommModuleConnectionWrapper* w = selectedWrapper();
    const std::shared_ptr<QMProtocolParser> parser = w ? w->parser() : nullptr;
    const std::uint64_t behavior = parser ? parser->behavior() : 0;
    if (parser == controlParser_.lock() && behavior == controlBehavior_)
        return;
    delete controlView_;
    controlParser_ = parser;
    controlBehavior_ = behavior;
    controlView_ = KLVControlViews::controlViewForParser(parser, controlHost_);
    if (controlView_) {
        controlHost_->layout()->addWidget(controlView_);
        controlView_->show();
    }
}
