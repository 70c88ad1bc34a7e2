#include "core/ports/timer.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fakes/manual_timer.h"

namespace quenvix::core {
namespace {

using test::ManualTimers;

TEST(Timer, EnablingArmsAFreshIntervalAndUnchangedValuesDoNothing) {
    ManualTimers clock;
    auto timer = clock.MakeTimer();
    auto& fake = *clock.At(0);
    int ticks = 0;
    timer->SetOnTick([&] { ++ticks; });
    EXPECT_FALSE(timer->Enabled());
    EXPECT_FALSE(fake.Armed());
    timer->SetInterval(30);
    EXPECT_FALSE(fake.Armed());  // a disabled timer stays quiet whatever its interval
    clock.Advance(10);
    timer->SetEnabled(true);
    EXPECT_EQ(fake.Deadline(), 40u);
    clock.Advance(20);
    timer->SetEnabled(true);  // already on: the countdown goes on
    EXPECT_EQ(fake.ArmCount(), 1);
    timer->SetInterval(30);
    EXPECT_EQ(fake.ArmCount(), 1);
    clock.Advance(10);
    EXPECT_EQ(ticks, 1);
    timer->SetInterval(100);  // a change restarts the countdown
    EXPECT_EQ(fake.Deadline(), 140u);
    timer->SetInterval(0);
    EXPECT_FALSE(fake.Armed());
    EXPECT_TRUE(timer->Enabled());
}

TEST(Timer, LateExpiryOfADisabledTimerIsDropped) {
    ManualTimers clock;
    auto timer = clock.MakeTimer();
    int ticks = 0;
    timer->SetOnTick([&] { ++ticks; });
    clock.At(0)->Tick();
    EXPECT_EQ(ticks, 0);
    timer->SetEnabled(true);
    clock.At(0)->Tick();
    EXPECT_EQ(ticks, 1);
}

TEST(Timer, TickMayDisableReenableReplaceOrFreeItsTimer) {
    ManualTimers clock;
    std::unique_ptr<Timer> timer = clock.MakeTimer();
    timer->SetInterval(10);
    std::vector<std::string> log;
    timer->SetOnTick([&] {
        log.push_back("first");
        timer->SetEnabled(false);
        timer->SetEnabled(true);
        timer->SetOnTick([&] {
            log.push_back("second");
            timer.reset();
        });
        log.push_back("first done");
    });
    timer->SetEnabled(true);
    EXPECT_EQ(clock.Advance(100), 2);
    EXPECT_EQ(log, (std::vector<std::string>{"first", "first done", "second"}));
    EXPECT_EQ(timer, nullptr);
}

TEST(Timer, TickThatRearmsItselfRestartsTheCountdownOnceFromItsEnd) {
    ManualTimers clock;
    std::unique_ptr<Timer> timer = clock.MakeTimer();
    auto& fake = *clock.At(0);
    timer->SetInterval(50);
    timer->SetOnTick([&] {
        timer->SetEnabled(false);
        EXPECT_TRUE(fake.Armed());  // the platform hears nothing until the tick is over
        timer->SetEnabled(true);
    });
    timer->SetEnabled(true);
    const int armsBefore = fake.ArmCount();
    clock.Advance(50);
    EXPECT_EQ(fake.ArmCount(), armsBefore + 1);
    EXPECT_EQ(fake.Deadline(), 100u);
}

TEST(Timer, TickThatStopsItsTimerLeavesItDisarmedAndAThrowingTickStillSettles) {
    ManualTimers clock;
    std::unique_ptr<Timer> timer = clock.MakeTimer();
    auto& fake = *clock.At(0);
    timer->SetInterval(50);
    timer->SetOnTick([&] { timer->SetEnabled(false); });
    timer->SetEnabled(true);
    clock.Advance(50);
    EXPECT_FALSE(fake.Armed());

    timer->SetOnTick([&] {
        timer->SetEnabled(false);
        timer->SetEnabled(true);
        throw std::runtime_error("tick failed");
    });
    timer->SetEnabled(true);
    EXPECT_THROW(fake.Tick(), std::runtime_error);
    EXPECT_TRUE(fake.Armed());
    timer->SetEnabled(false);  // outside a tick: heard at once
    EXPECT_FALSE(fake.Armed());
}

}  // namespace
}  // namespace quenvix::core
