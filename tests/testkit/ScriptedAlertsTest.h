#pragma once
// A fixture for tests that go through alerts: a scripted presenter answers
// them, and pending settings are written before the process ends.

#include "platform/AlertPresenter.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

namespace sorrelby::testkit {

class ScriptedAlertsTest : public ::testing::Test {
protected:
    void SetUp() override { AlertPresenter::setShared(&alerts); }
    void TearDown() override
    {
        AlertPresenter::setShared(nullptr);
        settings.flush(); // written in the background
    }

    Settings &settings = Settings::shared();
    ScriptedAlertPresenter alerts;
};

} // namespace sorrelby::testkit
