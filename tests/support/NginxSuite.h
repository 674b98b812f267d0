#pragma once

#include "tests/support/NginxServer.h"

#include <gtest/gtest.h>

#include <memory>

// One nginx for a whole suite. A failed start fails each test: failing in SetUpTestSuite would
// show as skipped tests, which CTest counts as passed.
template <class Base = ::testing::Test>
class TNginxSuite : public Base
{
protected:
    static void SetUpTestSuite()
    {
        Nginx = std::make_unique<TNginxServer>();
        Started = Nginx->Start();
    }
    static void TearDownTestSuite() { Nginx.reset(); }
    void SetUp() override
    {
        ASSERT_TRUE(Started) << Nginx->Error().toStdString();
        Base::SetUp();
    }

    static inline std::unique_ptr<TNginxServer> Nginx;
    static inline bool Started = false;
};
