#pragma once
// The configured devices in list order, with the user's selection, as a list model the
// preferences window shows. The model owns the wrappers; a removed wrapper is destroyed (and so
// disconnected) at once.
#include "comm/core/interpreter/QMCommModuleConnectionWrapper.h"

#include <QAbstractListModel>
#include <QList>

#include <memory>
#include <vector>

class QMConnectionWrapperListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        DeviceLabelRole = Qt::UserRole + 1,
        DeviceIDRole,
        DeviceIconRole,
        DeviceProtocolRole,
        DeviceDescriptionRole,
        DeviceHardwareRole,
        IsConnectedRole,
        IsConfiguredRole,
        ConnectButtonLabelRole,
        ConnectButtonIconRole,
        ReconnectRole,
        ChannelIndexRole,
    };

    explicit QMConnectionWrapperListModel(QObject* parent = nullptr);
    ~QMConnectionWrapperListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The arranged objects.
    QList<QMCommModuleConnectionWrapper*> arrangedObjects() const;
    QMCommModuleConnectionWrapper* at(int row) const;
    int rowOf(const QMCommModuleConnectionWrapper* wrapper) const;
    void addObject(std::unique_ptr<QMCommModuleConnectionWrapper> wrapper);
    // Destroys the wrapper; false when it is not in the list.
    bool removeObject(QMCommModuleConnectionWrapper* wrapper);

    // Selection, as rows in ascending order; rows out of range are ignored.
    QList<int> selectionIndexes() const { return selection_; }
    void setSelectionIndexes(QList<int> rows);
    QList<QMCommModuleConnectionWrapper*> selectedObjects() const;

signals:
    void selectionChanged();

private:
    void wrapperChanged(QMCommModuleConnectionWrapper* wrapper);

    std::vector<std::unique_ptr<QMCommModuleConnectionWrapper>> wrappers_;
    QList<int> selection_;
};
