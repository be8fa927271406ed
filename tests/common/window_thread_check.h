#pragma once
// A test executable that includes this runs with the window-thread check on: a window operation
// called off its window's thread anywhere in the run fails the run at its end.
#include <gtest/gtest.h>

#include "ui/window_thread.h"

class WindowThreadCheck : public ::testing::Environment {
  public:
    void SetUp() override { SetWindowThreadChecks(true); }
    void TearDown() override {
        const OffThreadCalls calls = WindowCallsOffThread();
        EXPECT_EQ(calls.count, 0) << "the last: " << (calls.last ? calls.last : "");
    }
};

inline ::testing::Environment* const kWindowThreadCheck =
    ::testing::AddGlobalTestEnvironment(new WindowThreadCheck);
