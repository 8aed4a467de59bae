#include "ui/widgets/prefs/KLVParamConfigDialog.h"

#include "ui/logic/prefs/KLVParamConfig.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

KLVParamConfigDialog::KLVParamConfigDialog(const QVariantMap& descriptor, QWidget* parent)
    : QDialog(parent)
    , descriptor_(descriptor)
    , grid_(new QGridLayout)
{
    setWindowTitle(KLVParamConfig::title(descriptor));
    auto* layout = new QVBoxLayout(this);
    // The command is named inside the dialog too: the window manager draws the title bar in a
    // font and with buttons of its own and may cut the title short.
    commandName_ = new QLabel(windowTitle(), this);
    commandName_->setObjectName(QStringLiteral("commandName"));
    QFont bold = commandName_->font();
    bold.setBold(true);
    commandName_->setFont(bold);
    layout->addWidget(commandName_);
    layout->addLayout(grid_);
    for (const KLVParamConfig::Row& row : KLVParamConfig::rows(descriptor)) {
        auto* name = new QLabel(row.name, this);
        name->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid_->addWidget(name, rows_, 0);
        if (!row.possibleValues.isEmpty()) {
            auto* popup = new QComboBox(this);
            popup->addItems(row.possibleValues);
            connect(popup, &QComboBox::currentTextChanged, this, &KLVParamConfigDialog::updateAcceptable);
            grid_->addWidget(popup, rows_, 1);
        } else {
            auto* field = new QLineEdit(this);
            field->setAlignment(Qt::AlignRight);
            field->setPlaceholderText(tr("Required"));
            connect(field, &QLineEdit::textChanged, this, &KLVParamConfigDialog::updateAcceptable);
            grid_->addWidget(field, rows_, 1);
        }
        ++rows_;
    }
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons_);
    updateAcceptable();
    // Wide enough for the title bar to show the title whole where the window manager's font is up
    // to a quarter larger than ours (window managers draw it bold), with room for the bar's icon,
    // its buttons and their spacing.
    QFont titleFont = bold;
    if (bold.pointSizeF() > 0)
        titleFont.setPointSizeF(bold.pointSizeF() * 1.25);
    else
        titleFont.setPixelSize(bold.pixelSize() * 5 / 4);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(windowTitle());
    const int barButtons = 6 * style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    setMinimumWidth(std::max(149 + 40, titleWidth + barButtons));
}

bool KLVParamConfigDialog::isComplete() const
{
    return KLVParamConfig::missing(descriptor_, values()).isEmpty();
}

QPushButton* KLVParamConfigDialog::okButton() const
{
    return buttons_->button(QDialogButtonBox::Ok);
}

void KLVParamConfigDialog::updateAcceptable()
{
    // Every parameter fills a place in the command: an empty one would send a broken command.
    okButton()->setEnabled(isComplete());
}

void KLVParamConfigDialog::accept()
{
    // Whatever asks (the button, Return, a program): an incomplete command is never accepted.
    if (isComplete())
        QDialog::accept();
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
