#include "app/shell/KLVAppearance.h"

#include "platform/foundation/UserDefaults.h"
#include "ui/logic/defaults/KLVDefaultsKeys.h"

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

QPalette lightPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(236, 236, 236));
    p.setColor(QPalette::WindowText, QColor(20, 20, 20));
    p.setColor(QPalette::Base, QColor(255, 255, 255));
    p.setColor(QPalette::AlternateBase, QColor(244, 245, 245));
    p.setColor(QPalette::ToolTipBase, QColor(255, 255, 220));
    p.setColor(QPalette::ToolTipText, QColor(20, 20, 20));
    p.setColor(QPalette::Text, QColor(20, 20, 20));
    p.setColor(QPalette::Button, QColor(246, 246, 246));
    p.setColor(QPalette::ButtonText, QColor(20, 20, 20));
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Highlight, QColor(0, 99, 225));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0, 90, 200));
    p.setColor(QPalette::PlaceholderText, QColor(140, 140, 140));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(160, 160, 160));
    return p;
}

QPalette darkPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(45, 45, 45));
    p.setColor(QPalette::WindowText, QColor(230, 230, 230));
    p.setColor(QPalette::Base, QColor(30, 30, 30));
    p.setColor(QPalette::AlternateBase, QColor(40, 40, 40));
    p.setColor(QPalette::ToolTipBase, QColor(60, 60, 60));
    p.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
    p.setColor(QPalette::Text, QColor(230, 230, 230));
    p.setColor(QPalette::Button, QColor(58, 58, 58));
    p.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    p.setColor(QPalette::BrightText, QColor(255, 90, 90));
    p.setColor(QPalette::Highlight, QColor(10, 110, 230));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(90, 160, 255));
    p.setColor(QPalette::PlaceholderText, QColor(130, 130, 130));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(110, 110, 110));
    return p;
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
