#include "ui/widgets/prefs/KLVGeneralPreferencesPane.h"

#include "app/defaults/KLVDefaultsKeys.h"
#include "app/util/KLVUtilities.h"
#include "platform/foundation/UserDefaults.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

namespace {

const QString kErrorKey = QString::fromLatin1(KLVDefaultsKeys::kEnableErrorReporting);
const QString kAnalyticsKey = QString::fromLatin1(KLVDefaultsKeys::kEnableAnalyticsReporting);

QLabel* explanation(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setContentsMargins(24, 0, 0, 8); // under the switch's text, not its box
    QPalette palette = label->palette();
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(0.7f);
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

} // namespace

KLVGeneralPreferencesPane::KLVGeneralPreferencesPane(QWidget* parent)
    : QWidget(parent)
    , errorReporting_(new QCheckBox(KLVUtilities::localized("QM_ERROR_REPORTING", tr("Send error reports")), this))
    , analyticsReporting_(new QCheckBox(KLVUtilities::localized("QM_ANALYTICS_REPORTING", tr("Send usage analytics")), this))
{
    setObjectName(QStringLiteral("general"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(errorReporting_);
    layout->addWidget(explanation(KLVUtilities::localized("QM_ERROR_REPORTING_INFO",
        tr("Crashes, hangs and internal errors, with the program's version, the system's name and version "
           "and the recent steps that led to them. Nothing is sent while this is off.")), this));
    layout->addWidget(analyticsReporting_);
    layout->addWidget(explanation(KLVUtilities::localized("QM_ANALYTICS_REPORTING_INFO",
        tr("Which features are used, with the program's version, the system's name and version and "
           "the country of its language settings. Nothing is sent while this is off.")), this));
    layout->addStretch();

    platform::UserDefaults& defaults = platform::UserDefaults::sharedDefaults();
    connect(errorReporting_, &QCheckBox::toggled, this, [&defaults](bool on) {
        if (defaults.boolForKey(kErrorKey) != on)
            defaults.setBool(on, kErrorKey);
    });
    connect(analyticsReporting_, &QCheckBox::toggled, this, [&defaults](bool on) {
        if (defaults.boolForKey(kAnalyticsKey) != on)
            defaults.setBool(on, kAnalyticsKey);
    });
    // Whoever else changes a switch (the diagnostics module folding in an old setting), the
    // boxes show what is stored.
    connect(&defaults, &platform::UserDefaults::changed, this, [this](const QString& key) {
        if (key == kErrorKey || key == kAnalyticsKey)
            refresh();
    });
    refresh();
}

void KLVGeneralPreferencesPane::refresh()
{
    const platform::UserDefaults& defaults = platform::UserDefaults::sharedDefaults();
    errorReporting_->setChecked(defaults.boolForKey(kErrorKey));
    analyticsReporting_->setChecked(defaults.boolForKey(kAnalyticsKey));
}
