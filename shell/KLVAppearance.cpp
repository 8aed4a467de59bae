#include "shell/KLVAppearance.h"

#include "app/defaults/KLVDefaultsKeys.h"
#include "platform/foundation/UserDefaults.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

namespace KLVAppearance {

namespace {

struct PlatformLook {
    QString styleName;
    QPalette palette;
};

const PlatformLook& platformLook()
{
    static const PlatformLook look{QApplication::style() ? QApplication::style()->name() : QString(),
                                   QApplication::palette()};
    return look;
}

} // namespace

const char* userAppearanceKey()
{
    return KLVDefaultsKeys::kUserAppearance;
}

int userAppearance()
{
    const auto value = platform::UserDefaults::sharedDefaults().integerForKey(QString::fromLatin1(userAppearanceKey()));
    return value == Light || value == Dark ? int(value) : System;
}

void setUserAppearance(int appearance)
{
    platform::UserDefaults::sharedDefaults().setInteger(appearance, QString::fromLatin1(userAppearanceKey()));
}

namespace {

// One appearance's colours, by role; disabled texts take their own colour.
struct Scheme {
    QPalette::ColorRole role;
    QColor colour;
};

QPalette paletteFrom(std::initializer_list<Scheme> scheme, const QColor& disabledText)
{
    QPalette p;
    for (const Scheme& entry : scheme)
        p.setColor(entry.role, entry.colour);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    return p;
}

} // namespace

QPalette lightPalette()
{
    return paletteFrom({{QPalette::Window, QColor(236, 236, 236)},   {QPalette::WindowText, QColor(20, 20, 20)},
                        {QPalette::Base, QColor(255, 255, 255)},     {QPalette::AlternateBase, QColor(244, 245, 245)},
                        {QPalette::ToolTipBase, QColor(255, 255, 220)}, {QPalette::ToolTipText, QColor(20, 20, 20)},
                        {QPalette::Text, QColor(20, 20, 20)},        {QPalette::Button, QColor(246, 246, 246)},
                        {QPalette::ButtonText, QColor(20, 20, 20)},  {QPalette::BrightText, QColor(Qt::red)},
                        {QPalette::Highlight, QColor(0, 99, 225)},   {QPalette::HighlightedText, QColor(Qt::white)},
                        {QPalette::Link, QColor(0, 90, 200)},        {QPalette::PlaceholderText, QColor(140, 140, 140)}},
                       QColor(160, 160, 160));
}

QPalette darkPalette()
{
    return paletteFrom({{QPalette::Window, QColor(45, 45, 45)},      {QPalette::WindowText, QColor(230, 230, 230)},
                        {QPalette::Base, QColor(30, 30, 30)},        {QPalette::AlternateBase, QColor(40, 40, 40)},
                        {QPalette::ToolTipBase, QColor(60, 60, 60)}, {QPalette::ToolTipText, QColor(230, 230, 230)},
                        {QPalette::Text, QColor(230, 230, 230)},     {QPalette::Button, QColor(58, 58, 58)},
                        {QPalette::ButtonText, QColor(230, 230, 230)}, {QPalette::BrightText, QColor(255, 90, 90)},
                        {QPalette::Highlight, QColor(10, 110, 230)}, {QPalette::HighlightedText, QColor(Qt::white)},
                        {QPalette::Link, QColor(90, 160, 255)},      {QPalette::PlaceholderText, QColor(130, 130, 130)}},
                       QColor(110, 110, 110));
}

void updateApplicationAppearance()
{
    const PlatformLook& look = platformLook();
    switch (userAppearance()) {
    case Light:
    case Dark:
        if (!QApplication::style() || QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
            QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(userAppearance() == Dark ? darkPalette() : lightPalette());
        break;
    default:
        if (!look.styleName.isEmpty() && QApplication::style()->name() != look.styleName)
            QApplication::setStyle(QStyleFactory::create(look.styleName));
        QApplication::setPalette(look.palette);
        break;
    }
}

} // namespace KLVAppearance
