#pragma once
// The modal dialog that asks for the parameter values of one outgoing protocol command: the
// command's name, a row per parameter (a pop-up for parameters with a fixed set of values, a text
// field for the others), and OK only once every parameter has a value.

#include <QDialog>
#include <QVariantMap>

#include <optional>

class QDialogButtonBox;
class QGridLayout;
class QLabel;
class QPushButton;

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
    QLabel* commandName() const { return commandName_; }
    QPushButton* okButton() const;
    // Every parameter has a value (not empty, not only blanks).
    bool isComplete() const;
    void accept() override;

private:
    void updateAcceptable();

    QVariantMap descriptor_;
    QGridLayout* grid_;
    QLabel* commandName_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    int rows_ = 0;
};
