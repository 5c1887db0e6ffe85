#include "platforms/linux/LogindInhibitor.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zelfin::linuxos {
namespace {

using Clock = std::chrono::steady_clock;

// More descriptors than any message of the exchange carries.
constexpr std::size_t kMaxFds = 8;

constexpr uint32_t kHelloSerial = 1;
constexpr uint32_t kOwnerSerial = 2;
constexpr uint32_t kInhibitSerial = 3;

// One connection to the bus: the bytes and descriptors it has sent and not yet been read, and
// the deadline of the whole exchange. Whatever is left is closed with it.
class Connection {
public:
    Connection(int socket, Clock::time_point deadline) : socket_(socket), deadline_(deadline) {}
    ~Connection() {
        dropFds(fdCount_);
        ::close(socket_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Why the last send or receive failed.
    InhibitResult failure() const { return failure_; }

    bool send(const void* data, std::size_t size) {
        const auto* at = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t sent = ::send(socket_, at, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0) {
                at += sent;
                size -= static_cast<std::size_t>(sent);
            } else if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
                if (!wait(POLLOUT)) {
                    return false;
                }
            } else {
                return fail(InhibitResult::BadAnswer);
            }
        }
        return true;
    }

    // Reads what has arrived; false once the time is up, the bus hangs up, the buffer is full,
    // or descriptors went missing (then no message can be matched with its own).
    bool receive() {
        if (length_ == sizeof buffer_) {
            return fail(InhibitResult::BadAnswer);
        }
        for (;;) {
            iovec part{buffer_ + length_, sizeof buffer_ - length_};
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFds)];
            msghdr header{};
            header.msg_iov = &part;
            header.msg_iovlen = 1;
            header.msg_control = control;
            header.msg_controllen = sizeof control;
            const ssize_t got = ::recvmsg(socket_, &header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                if (!wait(POLLIN)) {
                    return false;
                }
                continue;
            }
            if (got <= 0) {
                return fail(InhibitResult::BadAnswer);
            }
            const bool complete = keepFds(header);
            length_ += static_cast<std::size_t>(got);
            return complete || fail(InhibitResult::BadAnswer);
        }
    }

    // The next line of the authentication talk, without its CR LF, compared with `expected`
    // (or only its start, when prefix).
    bool expectLine(std::string_view expected, bool prefix) {
        for (;;) {
            const std::string_view have(reinterpret_cast<const char*>(buffer_), length_);
            const std::size_t end = have.find("\r\n");
            if (end != std::string_view::npos) {
                const std::string_view line = have.substr(0, end);
                const bool matches =
                    prefix ? line.substr(0, expected.size()) == expected : line == expected;
                consume(end + 2);
                return matches || fail(InhibitResult::Refused);
            }
            if (!receive()) {
                return false;
            }
        }
    }

    // The next whole message, read in place, with its descriptors queued; false when none
    // comes in time or what comes is not a message.
    bool next(dbus::Message& message) {
        for (;;) {
            const auto framing = dbus::ReadMessage({buffer_, length_}, dbus::kMaxMessage, message);
            if (framing == dbus::Framing::Incomplete) {
                if (!receive()) {
                    return false;
                }
                continue;
            }
            // A message's descriptors come with its first bytes, so they are all here by now.
            return (framing == dbus::Framing::Complete && message.unixFds <= fdCount_) ||
                   fail(InhibitResult::BadAnswer);
        }
    }

    // Takes the index-th descriptor of those queued; the caller closes it.
    int takeFd(std::size_t index) {
        const int fd = fds_[index];
        fds_[index] = -1;
        return fd;
    }

    // A message has been read: its bytes and its descriptors go.
    void consume(std::size_t bytes, std::size_t fds = 0) {
        std::memmove(buffer_, buffer_ + bytes, length_ - bytes);
        length_ -= bytes;
        dropFds(fds);
    }

private:
    bool fail(InhibitResult why) {
        failure_ = why;
        return false;
    }

    bool wait(short events) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
        if (left.count() <= 0) {
            return fail(InhibitResult::NoAnswer);
        }
        pollfd watch{socket_, events, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            return fail(InhibitResult::BadAnswer);
        }
        return true; // ready, interrupted or timed out: the next try or the next wait tells
    }

    bool keepFds(msghdr& header) {
        bool complete = (header.msg_flags & MSG_CTRUNC) == 0;
        for (cmsghdr* part = CMSG_FIRSTHDR(&header); part != nullptr;
             part = CMSG_NXTHDR(&header, part)) {
            if (part->cmsg_level != SOL_SOCKET || part->cmsg_type != SCM_RIGHTS) {
                continue;
            }
            const std::size_t count = (part->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int fd = -1;
                std::memcpy(&fd, CMSG_DATA(part) + i * sizeof(int), sizeof fd);
                if (fdCount_ < kMaxFds) {
                    fds_[fdCount_++] = fd;
                } else {
                    ::close(fd);
                    complete = false;
                }
            }
        }
        return complete;
    }

    void dropFds(std::size_t count) {
        for (std::size_t i = 0; i < count && i < fdCount_; ++i) {
            if (fds_[i] >= 0) {
                ::close(fds_[i]);
            }
        }
        const std::size_t dropped = count < fdCount_ ? count : fdCount_;
        std::memmove(fds_, fds_ + dropped, (fdCount_ - dropped) * sizeof(int));
        fdCount_ -= dropped;
    }

    int socket_;
    Clock::time_point deadline_;
    InhibitResult failure_ = InhibitResult::BadAnswer;
    uint8_t buffer_[dbus::kMaxMessage];
    std::size_t length_ = 0;
    int fds_[kMaxFds];
    std::size_t fdCount_ = 0;
};

int Connect(const char* socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(socketPath) >= sizeof address.sun_path) {
        return -1;
    }
    std::strcpy(address.sun_path, socketPath);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The leading NUL byte, then AUTH EXTERNAL with our user id's decimal digits in hex: the bus
// checks them against the peer credentials of the socket.
bool Authenticate(Connection& bus) {
    char uid[16];
    const int digits = std::snprintf(uid, sizeof uid, "%u", static_cast<unsigned>(::geteuid()));
    constexpr std::string_view auth = "AUTH EXTERNAL ";
    char line[64] = {'\0'};
    std::size_t length = 1;
    auth.copy(line + length, auth.size());
    length += auth.size();
    for (int i = 0; i < digits; ++i) {
        std::snprintf(line + length, sizeof line - length, "%02x", static_cast<unsigned>(uid[i]));
        length += 2;
    }
    line[length++] = '\r';
    line[length++] = '\n';
    constexpr std::string_view negotiate = "NEGOTIATE_UNIX_FD\r\n";
    constexpr std::string_view begin = "BEGIN\r\n";
    return bus.send(line, length) && bus.expectLine("OK ", true) &&
           bus.send(negotiate.data(), negotiate.size()) && bus.expectLine("AGREE_UNIX_FD", false) &&
           bus.send(begin.data(), begin.size());
}

constexpr std::string_view kBusName = "org.freedesktop.DBus";
constexpr std::string_view kLogindName = "org.freedesktop.login1";

bool SendCall(Connection& bus, const dbus::MethodCall& call, uint32_t serial) {
    uint8_t message[dbus::kMaxMessage];
    const std::size_t length = dbus::WriteMethodCall(message, call, serial);
    return length != 0 && bus.send(message, length);
}

// Hello first, as the bus wants, then who owns logind's name: only that peer's answer to
// Inhibit counts.
bool AskForOwner(Connection& bus) {
    const std::string_view name[] = {kLogindName};
    const dbus::MethodCall hello{kBusName, "/org/freedesktop/DBus", kBusName, "Hello", {}};
    const dbus::MethodCall owner{kBusName, "/org/freedesktop/DBus", kBusName, "GetNameOwner", name};
    return SendCall(bus, hello, kHelloSerial) && SendCall(bus, owner, kOwnerSerial);
}

bool AskForLock(Connection& bus, const InhibitRequest& request) {
    const std::string_view arguments[] = {request.what, request.who, request.why, request.mode};
    const dbus::MethodCall inhibit{kLogindName, "/org/freedesktop/login1",
                                   "org.freedesktop.login1.Manager", "Inhibit", arguments};
    return SendCall(bus, inhibit, kInhibitSerial);
}

// The bus writes the sender of every message it passes on, so no other peer can pass for the
// bus itself or for logind; anything else carrying our serial is not the answer.
bool IsAnswer(const dbus::Message& message, uint32_t serial, std::string_view from) {
    const bool reply =
        message.type == dbus::MessageType::MethodReturn || message.type == dbus::MessageType::Error;
    return reply && message.hasReplySerial && message.replySerial == serial &&
           message.sender == from;
}

void Refused(InhibitOutcome& outcome, std::string_view errorName) {
    outcome.result = InhibitResult::Refused;
    errorName.copy(outcome.errorName, sizeof outcome.errorName - 1); // names fit: see kMaxName
}

// Reads messages until the bus says who owns logind's name; whatever else comes on the way is
// passed over, with its descriptors. False, with outcome set, when there is no owner to ask.
bool AwaitOwner(Connection& bus, char (&owner)[dbus::kMaxName + 1], InhibitOutcome& outcome) {
    for (;;) {
        dbus::Message message;
        if (!bus.next(message)) {
            outcome.result = bus.failure();
            return false;
        }
        const bool isError = message.type == dbus::MessageType::Error;
        if (isError && IsAnswer(message, kHelloSerial, kBusName)) {
            Refused(outcome, message.errorName);
            return false;
        }
        if (IsAnswer(message, kOwnerSerial, kBusName)) {
            std::string_view name;
            if (isError) {
                Refused(outcome, message.errorName);
                return false;
            }
            if (!dbus::ReadStringReturn(message, name) || name.empty() ||
                name.size() > dbus::kMaxName) {
                outcome.result = InhibitResult::BadAnswer;
                return false;
            }
            name.copy(owner, dbus::kMaxName);
            owner[name.size()] = '\0';
            bus.consume(message.totalLength, message.unixFds);
            return true;
        }
        bus.consume(message.totalLength, message.unixFds);
    }
}

// Reads messages until logind's answer to Inhibit, or the bus's error in its place.
InhibitOutcome AwaitLock(Connection& bus, std::string_view owner) {
    InhibitOutcome outcome;
    for (;;) {
        dbus::Message message;
        if (!bus.next(message)) {
            outcome.result = bus.failure();
            return outcome;
        }
        const bool isError = message.type == dbus::MessageType::Error;
        if (IsAnswer(message, kInhibitSerial, owner) ||
            (isError && IsAnswer(message, kInhibitSerial, kBusName))) {
            uint32_t index = 0;
            if (dbus::ReadUnixFdReturn(message, index)) {
                outcome.result = InhibitResult::Locked;
                outcome.fd = bus.takeFd(index);
            } else if (isError) {
                Refused(outcome, message.errorName);
            } else {
                outcome.result = InhibitResult::BadAnswer;
            }
            return outcome;
        }
        bus.consume(message.totalLength, message.unixFds);
    }
}

} // namespace

InhibitOutcome TakeInhibitorLock(const char* socketPath, const InhibitRequest& request,
                                 int timeoutMs) {
    InhibitOutcome outcome;
    const int socket = Connect(socketPath);
    if (socket < 0) {
        return outcome;
    }
    Connection bus(socket, Clock::now() + std::chrono::milliseconds(timeoutMs));
    if (!Authenticate(bus) || !AskForOwner(bus)) {
        outcome.result = bus.failure();
        return outcome;
    }
    char owner[dbus::kMaxName + 1];
    if (!AwaitOwner(bus, owner, outcome)) {
        return outcome;
    }
    if (!AskForLock(bus, request)) {
        outcome.result = bus.failure();
        return outcome;
    }
    return AwaitLock(bus, owner);
}

} // namespace zelfin::linuxos
