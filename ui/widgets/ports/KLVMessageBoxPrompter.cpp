#include "ui/widgets/ports/KLVMessageBoxPrompter.h"

#include <QMessageBox>
#include <QPushButton>

#include <memory>

namespace {

QMessageBox::Icon iconFor(KLVAlert::Style style)
{
    switch (style) {
    case KLVAlert::Style::Informational:
        return QMessageBox::Information;
    case KLVAlert::Style::Critical:
        return QMessageBox::Critical;
    case KLVAlert::Style::Warning:
        break;
    }
    return QMessageBox::Warning;
}

} // namespace

QMessageBox* KLVMessageBoxPrompter::makeBox(const KLVAlert& alert, QWidget* parent)
{
    auto* box = new QMessageBox(parent);
    box->setIcon(iconFor(alert.style));
    box->setText(alert.messageText);
    box->setInformativeText(alert.informativeText);
    const QStringList titles = alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
    for (int i = 0; i < titles.size(); ++i) {
        // AcceptRole for the first keeps it the default and first in line on every style.
        QPushButton* button = box->addButton(titles[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        button->setProperty("klvIndex", i);
        if (i == 0)
            box->setDefaultButton(button);
    }
    return box;
}

int KLVMessageBoxPrompter::runModal(const KLVAlert& alert)
{
    std::unique_ptr<QMessageBox> box(makeBox(alert, parent_));
    box->exec();
    QAbstractButton* clicked = box->clickedButton();
    if (!clicked)
        return -1;
    bool ok = false;
    const int index = clicked->property("klvIndex").toInt(&ok);
    return ok ? index : -1;
}
