// Per-thread state: one home per program thread, emptied when the thread ends.
#include "runtime/core/thread_state.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "runtime/expression/bound_variable.h"
#include "runtime/core/error_state.h"
#include "runtime/core/thread_hook.h"
#include "runtime/expression/binding_scopes.h"

namespace docket::runtime {
namespace {

// Program threads numbered by hand, as the window system numbers its fibers.
int runningThread = 0;
int numberOfRunning() { return runningThread; }

class ThreadStateTest : public ::testing::Test {
protected:
    void SetUp() override { setThreadNumberHook(&numberOfRunning); }
    void TearDown() override {
        runningThread = 0;
        setThreadNumberHook(nullptr);
    }
};

TEST_F(ThreadStateTest, EachThreadSeesItsOwnValueUntilItEnds) {
    ThreadSlot<std::string> slot;
    runningThread = 9001;
    slot.get() = "first";
    runningThread = 9002;
    EXPECT_EQ(slot.find(), nullptr);
    slot.get() = "second";
    runningThread = 9001;
    EXPECT_EQ(slot.get(), "first");
    endThread(9001);
    EXPECT_EQ(slot.find(), nullptr);
    runningThread = 9002;
    EXPECT_EQ(slot.get(), "second");
    endThread(9002);
}

// A program thread's state reached from one OS thread and ended from another is gone for the first
// too, though it reached that state just before; the other OS thread's next thread may even get
// the same memory.
TEST_F(ThreadStateTest, AThreadEndedFromAnotherOsThreadIsGoneForAll) {
    ThreadSlot<std::string> slot;
    runningThread = 9101;
    slot.get() = "kept";
    EXPECT_EQ(*slot.find(), "kept");
    std::thread([&slot] {
        endThread(9101);
        runningThread = 9102;
        slot.get() = "other";
        runningThread = 9101;
    }).join();
    EXPECT_EQ(slot.find(), nullptr);
    slot.get() = "anew";
    ASSERT_NE(slot.find(), nullptr);
    EXPECT_EQ(*slot.find(), "anew");
    endThread(9101);
    endThread(9102);
}

TEST_F(ThreadStateTest, ListenersHearOfEndedThreadsUntilRemoved) {
    std::vector<int> ended;
    const int id = addThreadEndListener([&ended](int thread) { ended.push_back(thread); });
    endThread(7001);
    removeThreadEndListener(id);
    endThread(7002);
    EXPECT_EQ(ended, std::vector<int>{7001});
}

TEST_F(ThreadStateTest, AThousandProgramThreadsLeaveNothingBehind) {
    const std::size_t before = threadsWithState();
    std::int32_t value = 0;
    for (int n = 1; n <= 1000; ++n) {
        runningThread = 10000 + n;
        setError(35);
        ASSERT_TRUE(bindVariable("V", bindLong(&value)));
        pushScope(true);
        runningThread = 0;
        endThread(10000 + n);
    }
    EXPECT_EQ(threadsWithState(), before);
    // A thread number used again starts afresh.
    runningThread = 10001;
    EXPECT_EQ(errorCode(), 0);
    EXPECT_EQ(scopeDepth(), 0);
}

TEST(ThreadStateOsThreads, AnOsThreadThatNumberedItselfEndsItsStateOnExit) {
    const std::size_t before = threadsWithState();
    for (int round = 0; round < 50; ++round) {
        std::thread worker([] {
            setError(33);
            std::int32_t v = 1;
            bindVariable("W", bindLong(&v));
        });
        worker.join();
    }
    EXPECT_EQ(threadsWithState(), before);
}

} // namespace
} // namespace docket::runtime
