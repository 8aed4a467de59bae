#include "ui/widgets/ports/KLVMessageBoxPrompter.h"

#include "resources/strings/KLVLocalized.h"

#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
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
    const QStringList titles = alert.buttons.isEmpty() ? QStringList{KLVLocalized::text("QM_OK")} : alert.buttons;
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
    const auto same = [&alert](const KLVAlert* shown) {
        return shown->messageText == alert.messageText && shown->informativeText == alert.informativeText
            && shown->buttons == alert.buttons;
    };
    if (alert.buttons.size() <= 1 && std::any_of(up_.begin(), up_.end(), same))
        return 0;
    std::unique_ptr<QMessageBox> box(makeBox(alert, parent_));
    up_.push_back(&alert);
    box->exec();
    up_.pop_back();
    QAbstractButton* clicked = box->clickedButton();
    if (!clicked)
        return -1;
    bool ok = false;
    const int index = clicked->property("klvIndex").toInt(&ok);
    return ok ? index : -1;
}
