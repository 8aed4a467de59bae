#pragma once
// The platform::Exception a call raises (a test failure when it raises none).

#include "platform/foundation/Exception.h"

#include <gtest/gtest.h>

template <class F>
platform::Exception thrown(F&& f)
{
    try {
        f();
    } catch (const platform::Exception& e) {
        return e;
    }
    ADD_FAILURE() << "no exception";
    return platform::Exception(QString(), QString());
}
