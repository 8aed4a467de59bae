#include "ui/widgets/prefs/KLVControlViews.h"

#include "comm/core/protocols/sonybvw/QMProtocolParserSonyBVW.h"
#include "ui/widgets/comm/sonybvw/QMSonyBVWControlView.h"

namespace KLVControlViews {

QWidget* controlViewForParser(const std::shared_ptr<QMProtocolParser>& parser, QWidget* parent)
{
    auto bvw = std::dynamic_pointer_cast<QMProtocolParserSonyBVW>(parser);
    if (bvw && bvw->behavior() == QMProtocolBehaviorController)
        return new QMSonyBVWControlView(std::move(bvw), parent);
    return nullptr;
}

} // namespace KLVControlViews
