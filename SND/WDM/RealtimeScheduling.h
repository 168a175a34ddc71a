#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace sonari {

// Real-time scheduling for the streaming work, where the system grants it; a refusal leaves the
// thread as it was and is no error. Each returns what was granted ("SCHED_FIFO priority 4",
// "SCHED_RR priority 4 through RTKit"), or "" for nothing.

// Thread `tid` of this process, SCHED_FIFO at `priority` or at the RLIMIT_RTPRIO limit below it:
// what a privileged process or one with a real-time limit may do itself, at once.
std::string RequestRealtimeDirectly(pid_t tid, int priority);

// Thread `tid` of this process through RTKit on the system bus (the desktop's way for
// unprivileged programs), at `priority` or RTKit's limit below it, waiting at most `timeoutMs`
// for the answer. Sets this process's RLIMIT_RTTIME to RTKit's limit first, as RTKit requires;
// a thread that blocks between blocks never reaches it.
std::string RequestRealtimeFromRtKit(pid_t tid, int priority, int timeoutMs);

// The threads of this process that carry the name `name` (at most 15 characters, as the kernel
// keeps it), by their ids.
std::vector<pid_t> ThreadsNamed(const std::string& name);

} // namespace sonari
