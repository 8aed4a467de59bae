#pragma once
// Small pieces the communications tests share.
#include <QByteArray>
#include <QNetworkProxyFactory>
#include <QString>

#include <initializer_list>
#include <memory>
#include <utility>

namespace commtest {

namespace {
// The tests' own sockets talk to loopback directly, never through a system proxy.
const bool kNoSystemProxy = [] {
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    return true;
}();
} // namespace

// Bytes written out as numbers.
inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(char(v));
    return out;
}

// A key constant (a C string) as a QString.
inline QString k(const char* name)
{
    return QString::fromLatin1(name);
}

// Connects a parser and a communicator the way the module controller does.
template <class P, class C>
std::pair<std::shared_ptr<P>, std::shared_ptr<C>> makePair()
{
    auto parser = std::make_shared<P>();
    auto communicator = std::make_shared<C>();
    parser->setHardwareCommunicator(communicator);
    communicator->setParser(parser);
    return {parser, communicator};
}

} // namespace commtest
