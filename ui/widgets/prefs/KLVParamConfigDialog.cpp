#include "ui/widgets/prefs/KLVParamConfigDialog.h"

#include "ui/logic/prefs/KLVParamConfig.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

KLVParamConfigDialog::KLVParamConfigDialog(const QVariantMap& descriptor, QWidget* parent)
    : QDialog(parent)
    , grid_(new QGridLayout)
{
    setWindowTitle(KLVParamConfig::title(descriptor));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid_);
    for (const KLVParamConfig::Row& row : KLVParamConfig::rows(descriptor)) {
        auto* name = new QLabel(row.name, this);
        name->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid_->addWidget(name, rows_, 0);
        if (!row.possibleValues.isEmpty()) {
            auto* popup = new QComboBox(this);
            popup->addItems(row.possibleValues);
            grid_->addWidget(popup, rows_, 1);
        } else {
            auto* field = new QLineEdit(this);
            field->setAlignment(Qt::AlignRight);
            grid_->addWidget(field, rows_, 1);
        }
        ++rows_;
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // The title is the only place the command is named: wide enough for the title bar to show
    // it whole, with room for the bar's icon and buttons (window managers draw it bold).
    QFont titleFont = font();
    titleFont.setBold(true);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(windowTitle());
    const int barButtons = 4 * style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    setMinimumWidth(std::max(149 + 40, titleWidth + barButtons));
}

QWidget* KLVParamConfigDialog::valueWidget(int row) const
{
    QLayoutItem* item = grid_->itemAtPosition(row, 1);
    return item ? item->widget() : nullptr;
}

QStringList KLVParamConfigDialog::values() const
{
    QStringList out;
    for (int row = 0; row < rows_; ++row) {
        QWidget* w = valueWidget(row);
        if (auto* popup = qobject_cast<QComboBox*>(w))
            out << popup->currentText();
        else if (auto* field = qobject_cast<QLineEdit*>(w))
            out << field->text();
        else
            out << QString();
    }
    return out;
}

std::optional<QVariantMap> KLVParamConfigDialog::runModalParamConfigSessionForCommand(const QVariantMap& descriptor,
                                                                                     QWidget* parent)
{
    KLVParamConfigDialog dialog(descriptor, parent);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    return KLVParamConfig::result(descriptor, accepted, dialog.values());
}
