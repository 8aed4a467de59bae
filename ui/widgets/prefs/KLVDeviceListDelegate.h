#pragma once
// Draws one control device in the preferences window's list: a state light (green while the link
// is up), the device's label, and below it the protocol, the link, where it is and its state.

#include <QStyledItemDelegate>

class QMConnectionWrapperListModel;

class KLVDeviceListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    KLVDeviceListDelegate(const QMConnectionWrapperListModel& model, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const QMConnectionWrapperListModel& model_;
};
