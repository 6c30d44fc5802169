// The contract every window host meets for workers and their requests (see
// app/window_host.h), as one typed suite. A host's test instantiates it with
// a harness that gives:
//   WindowHost& host();                 the host, its window started
//   std::thread::id windowThread();     the thread its window runs on
//   void endWindow();                   ends the window as the logic would
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "app/window_host.h"

template <class Harness>
class WindowHostContract : public ::testing::Test {
protected:
    Harness harness;
};

TYPED_TEST_SUITE_P(WindowHostContract);

TYPED_TEST_P(WindowHostContract, ARequestRunsOnTheWindowThreadAndReturnsOnceItRan) {
    WindowHost& host = this->harness.host();
    std::thread::id ranOn;
    bool nestedRanAtOnce = false;
    EXPECT_TRUE(host.runOnWindowThread([&] {
        ranOn = std::this_thread::get_id();
        // On the window's thread a request runs at once.
        bool nested = false;
        EXPECT_TRUE(host.runOnWindowThread([&] { nested = true; }));
        nestedRanAtOnce = nested;
    }));
    EXPECT_EQ(ranOn, this->harness.windowThread());
    EXPECT_TRUE(nestedRanAtOnce);
}

TYPED_TEST_P(WindowHostContract, AfterTheWindowEndedARequestIsDroppedUnrun) {
    this->harness.endWindow();
    bool ran = false;
    EXPECT_FALSE(this->harness.host().runOnWindowThread([&] { ran = true; }));
    EXPECT_FALSE(ran);
}

TYPED_TEST_P(WindowHostContract, AWorkerRunsOnItsOwnThreadAndMayOutliveItsWindow) {
    WindowHost& host = this->harness.host();
    auto firstDone = std::make_shared<std::promise<bool>>();
    auto go = std::make_shared<std::promise<void>>();
    auto done = std::make_shared<std::promise<bool>>();
    std::future<bool> first = firstDone->get_future();
    std::shared_future<void> goSignal = go->get_future().share();
    std::future<bool> result = done->get_future();
    const std::thread::id windowThread = this->harness.windowThread();
    ASSERT_TRUE(host.startWorker([&host, firstDone, goSignal, done, windowThread] {
        const bool ownThread = std::this_thread::get_id() != windowThread;
        // While the window lives its requests run...
        bool ranBefore = false;
        const bool before = host.runOnWindowThread([&ranBefore] { ranBefore = true; });
        firstDone->set_value(ownThread && before && ranBefore);
        goSignal.wait_for(std::chrono::seconds(60));
        // ...and once it has ended they are dropped, and the worker goes on.
        bool ranAfter = false;
        const bool after = host.runOnWindowThread([&ranAfter] { ranAfter = true; });
        done->set_value(!after && !ranAfter);
    }));
    ASSERT_EQ(first.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(first.get());
    this->harness.endWindow();
    go->set_value();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(result.get());
}

REGISTER_TYPED_TEST_SUITE_P(WindowHostContract, ARequestRunsOnTheWindowThreadAndReturnsOnceItRan,
                            AfterTheWindowEndedARequestIsDroppedUnrun,
                            AWorkerRunsOnItsOwnThreadAndMayOutliveItsWindow);
