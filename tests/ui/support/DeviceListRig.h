#pragma once
// A control-device list for preferences tests: its own module controller started with the given
// parser classes, a connection manager over a temporary data folder and user defaults there.
// Header only: the test links the communications libraries it starts with.

#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

#include <QFile>

#include <gtest/gtest.h>

#include <memory>

namespace testsupport {

struct DeviceListRig {
    TempFolder folder;
    QMCommunicationModuleController controller;
    std::unique_ptr<QMCommModuleConnectionManager> manager;

    explicit DeviceListRig(const QList<const QMProtocolParserClass*>& parsers)
    {
        platform::UserDefaults::setSharedFilePath(folder.filePath(QStringLiteral("Kalvanto.conf")));
        controller.startupWithAvailableParserClasses(parsers);
        manager = freshManager();
    }
    // A manager as a new start makes it: the list is read on its first event-loop turn.
    std::unique_ptr<QMCommModuleConnectionManager> freshManager()
    {
        auto m = std::make_unique<QMCommModuleConnectionManager>(folder.path());
        m->setCommModuleController(&controller);
        pumpEvents(30);
        EXPECT_EQ(m->hasDeserialized(), QFile::exists(m->devicesFilePath()));
        return m;
    }
    QByteArray deviceFile() const
    {
        QFile f(manager->devicesFilePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace testsupport
