#include "SND/WDM/RealtimeScheduling.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace sonari {
namespace {

using namespace std::chrono_literals;

constexpr int kCannotSetUp = 3;

// 0 when the calling thread runs as `expected` says ("" = not real-time) after the request.
int Check(const std::string& expected) {
    const std::string granted = RequestRealtimeDirectly(gettid(), 4);
    int policy = 0;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    const std::string actual =
        policy == SCHED_FIFO ? "SCHED_FIFO priority " + std::to_string(param.sched_priority) : "";
    return granted == expected && actual == expected ? 0 : 1;
}

// A privileged process gets what it asks for; an unprivileged one what its real-time limit
// allows, at most what it asked for, or nothing; and what it reports is what it got. Each case
// runs in a child whose limit and user are its own; a limit this machine cannot set is skipped.
TEST(RealtimeScheduling, DirectRequestsGetWhatTheLimitAllowsAndSayIt) {
    const bool root = getuid() == 0;
    struct TCase {
        bool privileged;
        rlim_t limit;
        const char* expected;
    } cases[] = {{true, 0, "SCHED_FIFO priority 4"},
                 {false, 0, ""},
                 {false, 2, "SCHED_FIFO priority 2"},
                 {false, 50, "SCHED_FIFO priority 4"}};
    int ran = 0;
    for (const TCase& c : cases) {
        if (c.privileged && !root)
            continue;
        SCOPED_TRACE(testing::Message() << c.privileged << " " << c.limit);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit limit{c.limit, c.limit};
            if (!c.privileged &&
                (setrlimit(RLIMIT_RTPRIO, &limit) != 0 || (root && setuid(65534) != 0)))
                _exit(kCannotSetUp);
            _exit(Check(c.expected));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == kCannotSetUp)
            continue;
        ++ran;
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_GE(ran, 1); // lowering the limit to 0 is always allowed
}

// Another thread of the process is found by its name and scheduled by its id, as the streaming
// thread does for a sound server client's loop.
TEST(RealtimeScheduling, HelperThreadsAreFoundByNameAndScheduledById) {
    std::atomic<pid_t> tid{0};
    std::atomic<bool> done{false};
    std::thread helper([&] {
        pthread_setname_np(pthread_self(), "sonari-helper");
        tid = gettid();
        tid.notify_all();
        while (!done)
            std::this_thread::sleep_for(1ms);
    });
    tid.wait(0);
    EXPECT_EQ(ThreadsNamed("sonari-helper"), std::vector<pid_t>{tid.load()});
    EXPECT_TRUE(ThreadsNamed("no-such-thread").empty());
    const std::string granted = RequestRealtimeDirectly(tid, 3);
    EXPECT_EQ(sched_getscheduler(tid), granted.empty() ? SCHED_OTHER : SCHED_FIFO) << granted;
    EXPECT_EQ(sched_getscheduler(gettid()), SCHED_OTHER); // not the caller
    done = true;
    helper.join();
}

} // namespace
} // namespace sonari
