#pragma once

#include "app/HttpThr1.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <memory>

// A main window whose settings file and program folder live in a scratch folder.
class MainWindowFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TStartOptions options;
        options.iniFile = temp.file("pelmor.ini");
        options.folder = temp.path();
        form = std::make_unique<TFormMain>(options);
    }

    TTempFolder temp;
    std::unique_ptr<TFormMain> form;
};
