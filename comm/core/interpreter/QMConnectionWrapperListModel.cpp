#include "comm/core/interpreter/QMConnectionWrapperListModel.h"

#include <algorithm>

QMConnectionWrapperListModel::QMConnectionWrapperListModel(QObject* parent) : QAbstractListModel(parent) {}

QMConnectionWrapperListModel::~QMConnectionWrapperListModel() = default;

int QMConnectionWrapperListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(wrappers_.size());
}

QVariant QMConnectionWrapperListModel::data(const QModelIndex& index, int role) const
{
    const QMCommModuleConnectionWrapper* w = at(index.row());
    if (!w || index.column() != 0)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case DeviceLabelRole:
        return w->deviceLabel();
    case DeviceIDRole:
        return w->deviceID();
    case DeviceIconRole:
        return w->deviceIcon();
    case DeviceProtocolRole:
        return w->deviceProtocol();
    case Qt::ToolTipRole:
    case DeviceDescriptionRole:
        return w->deviceDescription();
    case DeviceHardwareRole:
        return w->deviceHardware();
    case IsConnectedRole:
        return w->isConnected();
    case IsConfiguredRole:
        return w->isConfigured();
    case ConnectButtonLabelRole:
        return w->connectButtonLabel();
    case ConnectButtonIconRole:
        return w->connectButtonIcon();
    case ReconnectRole:
        return w->reconnect();
    case ChannelIndexRole:
        return qlonglong(w->klvChannelIndex());
    default:
        return {};
    }
}

QHash<int, QByteArray> QMConnectionWrapperListModel::roleNames() const
{
    return {
        {DeviceLabelRole, "deviceLabel"},
        {DeviceIDRole, "deviceID"},
        {DeviceIconRole, "deviceIcon"},
        {DeviceProtocolRole, "deviceProtocol"},
        {DeviceDescriptionRole, "deviceDescription"},
        {DeviceHardwareRole, "deviceHardware"},
        {IsConnectedRole, "isConnected"},
        {IsConfiguredRole, "isConfigured"},
        {ConnectButtonLabelRole, "connectButtonLabel"},
        {ConnectButtonIconRole, "connectButtonIcon"},
        {ReconnectRole, "reconnect"},
        {ChannelIndexRole, "klvChannelIndex"},
    };
}

QList<QMCommModuleConnectionWrapper*> QMConnectionWrapperListModel::arrangedObjects() const
{
    QList<QMCommModuleConnectionWrapper*> list;
    list.reserve(qsizetype(wrappers_.size()));
    for (const auto& w : wrappers_)
        list.append(w.get());
    return list;
}

QMCommModuleConnectionWrapper* QMConnectionWrapperListModel::at(int row) const
{
    return row >= 0 && size_t(row) < wrappers_.size() ? wrappers_[size_t(row)].get() : nullptr;
}

int QMConnectionWrapperListModel::rowOf(const QMCommModuleConnectionWrapper* wrapper) const
{
    for (size_t i = 0; i < wrappers_.size(); ++i) {
        if (wrappers_[i].get() == wrapper)
            return int(i);
    }
    return -1;
}

void QMConnectionWrapperListModel::addObject(std::unique_ptr<QMCommModuleConnectionWrapper> wrapper)
{
    QMCommModuleConnectionWrapper* w = wrapper.get();
    const int row = int(wrappers_.size());
    beginInsertRows(QModelIndex(), row, row);
    wrappers_.push_back(std::move(wrapper));
    endInsertRows();
    connect(w, &QMCommModuleConnectionWrapper::deviceChanged, this, [this, w] { wrapperChanged(w); });
}

bool QMConnectionWrapperListModel::removeObject(QMCommModuleConnectionWrapper* wrapper)
{
    const int row = rowOf(wrapper);
    if (row < 0)
        return false;
    const bool wasSelected = selection_.contains(row);
    QList<int> selection;
    for (int r : std::as_const(selection_)) {
        if (r != row)
            selection.append(r > row ? r - 1 : r);
    }
    beginRemoveRows(QModelIndex(), row, row);
    std::unique_ptr<QMCommModuleConnectionWrapper> removed = std::move(wrappers_[size_t(row)]);
    wrappers_.erase(wrappers_.begin() + row);
    selection_ = selection;
    endRemoveRows();
    removed.reset();
    if (wasSelected)
        emit selectionChanged();
    return true;
}

void QMConnectionWrapperListModel::setSelectionIndexes(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.removeIf([this](int r) { return r < 0 || size_t(r) >= wrappers_.size(); });
    if (rows == selection_)
        return;
    selection_ = rows;
    emit selectionChanged();
}

QList<QMCommModuleConnectionWrapper*> QMConnectionWrapperListModel::selectedObjects() const
{
    QList<QMCommModuleConnectionWrapper*> list;
    for (int r : selection_)
        list.append(at(r));
    return list;
}

void QMConnectionWrapperListModel::wrapperChanged(QMCommModuleConnectionWrapper* wrapper)
{
    const int row = rowOf(wrapper);
    if (row >= 0)
        emit dataChanged(index(row), index(row));
}
