#pragma once
// Every document test runs with its own data folder (cached pictures) and its own settings file,
// and with the model classes registered.

#include "app/document/KLVDocumentClasses.h"
#include "app/document/KLVDocumentKeys.h"
#include "app/imagecache/KLVImageManager.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp_.isValid());
        previousData_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", (tmp_.path() + "/data").toUtf8());
        KLVImageManager::slateImageFolder();
        KLVImageManager::thumbnailFolder();
        platform::UserDefaults::setSharedFilePath(tmp_.path() + "/settings.conf");
        setShortNames(false);
        KLVDocumentClasses::registerClasses();
    }
    void TearDown() override
    {
        setShortNames(false);
        qputenv("XDG_DATA_HOME", previousData_);
    }

    static void setShortNames(bool on)
    {
        platform::UserDefaults::sharedDefaults().setBool(on, KLVDocumentKeys::kUse8CharNamesDefault);
        QCoreApplication::processEvents();
    }

    QString path(const QString& name) const { return tmp_.path() + "/" + name; }

    testsupport::TempFolder tmp_;
    QByteArray previousData_;
};
