#pragma once
// A test that runs the real main window over a database it prepares itself,
// with adapters from the test and no connection names merged from the
// registry.
#include "app/f_main.h"
#include "ipsets/o_qvIPInfo.h"
#include "support/TestSupport.h"
#include "toolkit/Application.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

class MainWindowFixture : public ::testing::Test {
protected:
    // Call after filling Db and Adapters.
    void OpenMainWindow(bool show) {
        Scope = std::make_unique<FakeAdaptersScope>(Adapters);
        SetVersionInfoSource(VersionWithoutMerge);
        App.Title = "QV IP Tavix Ver2";
        Form = new TFrmMain(&App);
        MainForm = Form;
        if (show) Form->Show();
        Manager = Form->IPSetManager();
    }
    void TearDown() override {
        delete Form;
        SetVersionInfoSource(nullptr);
    }

    std::string Db;
    FakeAdapterSource Adapters;
    std::unique_ptr<FakeAdaptersScope> Scope;
    TApplication App;
    TFrmMain* Form = nullptr;
    TqvIPSetManager* Manager = nullptr;
};
