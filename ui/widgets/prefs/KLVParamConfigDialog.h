#pragma once
// The modal dialog that asks for the parameter values of one outgoing protocol command: a row per
// parameter, a pop-up for parameters with a fixed set of values and a text field for the others.

#include <QDialog>
#include <QVariantMap>

#include <optional>

class QGridLayout;

class KLVParamConfigDialog : public QDialog {
    Q_OBJECT
public:
    explicit KLVParamConfigDialog(const QVariantMap& descriptor, QWidget* parent = nullptr);

    // The command with the values chosen, or nothing when cancelled.
    static std::optional<QVariantMap> runModalParamConfigSessionForCommand(const QVariantMap& descriptor,
                                                                          QWidget* parent = nullptr);
    // The values shown now, one per parameter.
    QStringList values() const;
    QWidget* valueWidget(int row) const;

private:
    QGridLayout* grid_;
    int rows_ = 0;
};
