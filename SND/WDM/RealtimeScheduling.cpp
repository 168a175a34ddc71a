#include "SND/WDM/RealtimeScheduling.h"

#include <dbus/dbus.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

namespace sonari {

namespace {

constexpr const char* kRtKitName = "org.freedesktop.RealtimeKit1";
constexpr const char* kRtKitPath = "/org/freedesktop/RealtimeKit1";

std::string Described(int policy, int priority) {
    return std::string(policy == SCHED_RR ? "SCHED_RR" : "SCHED_FIFO") + " priority " +
           std::to_string(priority);
}

struct TDbusError {
    TDbusError() { dbus_error_init(&Error); }
    ~TDbusError() { dbus_error_free(&Error); }
    DBusError Error;
};

struct TConnectionCloser {
    void operator()(DBusConnection* connection) const {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
using TConnection = std::unique_ptr<DBusConnection, TConnectionCloser>;

struct TMessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using TMessage = std::unique_ptr<DBusMessage, TMessageUnref>;

// Sends `call` and returns the reply, or nothing on an error or when no answer came in time.
TMessage Call(DBusConnection* bus, DBusMessage* call, int timeoutMs) {
    TDbusError error;
    return TMessage(dbus_connection_send_with_reply_and_block(bus, call, timeoutMs, &error.Error));
}

// An integer property of RTKit (RTKit answers int32 or int64 in a variant); `fallback` when
// it cannot be read.
int64_t RtKitProperty(DBusConnection* bus, const char* name, int64_t fallback, int timeoutMs) {
    TMessage call(dbus_message_new_method_call(kRtKitName, kRtKitPath,
                                               "org.freedesktop.DBus.Properties", "Get"));
    const char* interface = kRtKitName;
    if (!call || !dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface,
                                           DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID))
        return fallback;
    const TMessage reply = Call(bus, call.get(), timeoutMs);
    DBusMessageIter top, variant;
    if (!reply || !dbus_message_iter_init(reply.get(), &top) ||
        dbus_message_iter_get_arg_type(&top) != DBUS_TYPE_VARIANT)
        return fallback;
    dbus_message_iter_recurse(&top, &variant);
    switch (dbus_message_iter_get_arg_type(&variant)) {
    case DBUS_TYPE_INT32: {
        dbus_int32_t value = 0;
        dbus_message_iter_get_basic(&variant, &value);
        return value;
    }
    case DBUS_TYPE_INT64: {
        dbus_int64_t value = 0;
        dbus_message_iter_get_basic(&variant, &value);
        return value;
    }
    default:
        return fallback;
    }
}

} // namespace

std::string RequestRealtimeDirectly(pid_t tid, int priority) {
    sched_param param{};
    param.sched_priority = priority;
    if (sched_setscheduler(tid, SCHED_FIFO, &param) == 0)
        return Described(SCHED_FIFO, priority);
    // Unprivileged: as high as the real-time limit allows.
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) != 0 || limit.rlim_cur == 0)
        return {};
    param.sched_priority = static_cast<int>(std::min<rlim_t>(limit.rlim_cur, priority));
    if (sched_setscheduler(tid, SCHED_FIFO, &param) != 0)
        return {};
    return Described(SCHED_FIFO, param.sched_priority);
}

std::string RequestRealtimeFromRtKit(pid_t tid, int priority, int timeoutMs) {
    TDbusError error;
    // A private connection: the program's other users of the system bus are not disturbed.
    TConnection bus(dbus_bus_get_private(DBUS_BUS_SYSTEM, &error.Error));
    if (!bus)
        return {};
    dbus_connection_set_exit_on_disconnect(bus.get(), false);

    const int64_t maxPriority = RtKitProperty(bus.get(), "MaxRealtimePriority", 0, timeoutMs);
    const int64_t rtTimeUs = RtKitProperty(bus.get(), "RTTimeUSecMax", 0, timeoutMs);
    if (maxPriority < 1 || rtTimeUs < 1)
        return {};
    const rlimit rtTime{static_cast<rlim_t>(rtTimeUs), static_cast<rlim_t>(rtTimeUs)};
    if (setrlimit(RLIMIT_RTTIME, &rtTime) != 0)
        return {};

    TMessage call(
        dbus_message_new_method_call(kRtKitName, kRtKitPath, kRtKitName, "MakeThreadRealtime"));
    dbus_uint64_t thread = static_cast<dbus_uint64_t>(tid);
    dbus_uint32_t granted = static_cast<dbus_uint32_t>(std::min<int64_t>(priority, maxPriority));
    if (!call || !dbus_message_append_args(call.get(), DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32,
                                           &granted, DBUS_TYPE_INVALID))
        return {};
    const TMessage reply = Call(bus.get(), call.get(), timeoutMs);
    if (!reply || dbus_message_get_type(reply.get()) == DBUS_MESSAGE_TYPE_ERROR)
        return {};
    return Described(SCHED_RR, static_cast<int>(granted)) + " through RTKit";
}

std::vector<pid_t> ThreadsNamed(const std::string& name) {
    std::vector<pid_t> threads;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(task.path() / "comm");
        std::string threadName;
        if (std::getline(comm, threadName) && threadName == name)
            threads.push_back(static_cast<pid_t>(std::stol(task.path().filename().string())));
    }
    return threads;
}

} // namespace sonari
