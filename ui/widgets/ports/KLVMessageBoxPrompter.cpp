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

namespace {

bool sameAlert(const KLVAlert& a, const KLVAlert& b)
{
    return a.messageText == b.messageText && a.informativeText == b.informativeText && a.buttons == b.buttons;
}

bool isNotice(const KLVAlert& alert)
{
    return alert.buttons.size() <= 1;
}

} // namespace

bool KLVMessageBoxPrompter::isUp(const KLVAlert& alert) const
{
    const auto same = [&alert](const KLVAlert& shown) { return sameAlert(shown, alert); };
    return std::any_of(up_.begin(), up_.end(), [&same](const KLVAlert* shown) { return same(*shown); })
        || std::any_of(held_.begin(), held_.end(), same)
        || std::any_of(shown_.begin(), shown_.end(), [&same](const Shown& shown) { return same(shown.alert); });
}

int KLVMessageBoxPrompter::runModal(const KLVAlert& alert)
{
    if (isNotice(alert) && isUp(alert))
        return 0;
    if (isNotice(alert) && holding_) {
        held_.push_back(alert);
        return 0;
    }
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

void KLVMessageBoxPrompter::releaseNotices()
{
    holding_ = false;
    std::list<KLVAlert> held;
    held.swap(held_);
    for (KLVAlert& alert : held)
        show(std::move(alert));
}

KLVMessageBoxPrompter::~KLVMessageBoxPrompter()
{
    for (const Shown& shown : std::list<Shown>(std::move(shown_)))
        delete shown.box;
}

void KLVMessageBoxPrompter::show(KLVAlert alert)
{
    QMessageBox* box = makeBox(alert, parent_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    shown_.push_back({std::move(alert), box});
    QObject::connect(box, &QDialog::finished, box, [this, box] {
        shown_.remove_if([box](const Shown& shown) { return shown.box == box; });
    });
    box->show();
}
