// Loopback peers in these tests never consult the desktop's proxy settings.
#include <QNetworkProxyFactory>

namespace {

const bool kNoSystemProxy = [] {
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    return true;
}();

} // namespace
