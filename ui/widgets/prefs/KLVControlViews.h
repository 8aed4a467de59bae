#pragma once
// The control view of a device's protocol in the role the device has, for the device list to
// show under the selected device: the 9-pin deck this system drives has one (its time code and
// transport buttons); every other protocol and role has none.
#include <memory>

class QWidget;
class QMProtocolParser;

namespace KLVControlViews {

// A new view owned by parent, or null.
QWidget* controlViewForParser(const std::shared_ptr<QMProtocolParser>& parser, QWidget* parent);

} // namespace KLVControlViews
