// The lock's exchange with what is not a working bus: nothing at the path, or a peer that never
// answers, hangs up, refuses us or sends garbage. Each ends without a lock and leaves no
// descriptor open. And a bus that passes on other peers' messages carrying our serials: only
// logind's own answer is taken. A real bus is logind-inhibit.sh's.
#include "platforms/linux/LogindInhibitor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zelfin::linuxos {
namespace {

namespace fs = std::filesystem;

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// Bytes the bus sends in one go, with a descriptor when fd is not -1.
struct Segment {
    std::string bytes;
    int fd = -1;
};

void SendSegment(int socket, const Segment& segment) {
    iovec part{const_cast<char*>(segment.bytes.data()), segment.bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))]{};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    if (segment.fd >= 0) {
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        cmsghdr* rights = CMSG_FIRSTHDR(&header);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(rights), &segment.fd, sizeof(int));
    }
    [[maybe_unused]] const auto sent = ::sendmsg(socket, &header, MSG_NOSIGNAL);
}

// Plays a bus at path: takes one connection, sends the script, then waits for us to hang up
// (or, when hangUp, hangs up at once).
class Peer {
public:
    Peer(const std::string& path, std::vector<Segment> script, bool hangUp) {
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener_, 1), 0);
        thread_ = std::thread([this, script = std::move(script), hangUp] {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                return;
            }
            if (!hangUp) {
                for (const Segment& segment : script) {
                    SendSegment(client, segment);
                }
                char ignored[256];
                while (::read(client, ignored, sizeof ignored) > 0) {
                }
            }
            ::close(client);
        });
    }
    ~Peer() {
        thread_.join();
        ::close(listener_);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

private:
    int listener_ = -1;
    std::thread thread_;
};

// A reply as the bus passes it on, little-endian, with the sender the bus wrote. An error
// carries text as its name; anything else carries text as one string or, without text,
// descriptor 0 of the one it comes with.
std::string Reply(dbus::MessageType type, uint32_t replySerial, std::string_view sender,
                  std::string_view text = {}) {
    std::string m{'l', static_cast<char>(type), '\0', '\1'};
    auto pad = [&](std::size_t alignment) {
        m.resize((m.size() + alignment - 1) / alignment * alignment, '\0');
    };
    auto u32 = [&](std::size_t value) {
        pad(4);
        for (int shift = 0; shift < 32; shift += 8) {
            m += static_cast<char>(value >> shift);
        }
    };
    auto string = [&](std::string_view value) {
        u32(value.size());
        m.append(value) += '\0';
    };
    auto field = [&](char code, char valueType) {
        pad(8);
        m.append({code, '\1', valueType, '\0'});
    };
    const bool error = type == dbus::MessageType::Error;
    const bool fd = !error && text.empty();
    u32(0);  // body length, below
    u32(77); // serial
    u32(0);  // length of the fields, below
    field(5, 'u');
    u32(replySerial);
    field(7, 's');
    string(sender);
    if (error) {
        field(4, 's');
        string(text);
    } else {
        field(8, 'g');
        m.append({'\1', fd ? 'h' : 's', '\0'});
    }
    if (fd) {
        field(9, 'u');
        u32(1);
    }
    const std::size_t fieldsEnd = m.size();
    pad(8);
    const std::size_t bodyStart = m.size();
    if (fd) {
        u32(0);
    } else if (!error) {
        string(text);
    }
    const auto patch = [&](std::size_t at, std::size_t value) {
        for (int i = 0; i < 4; ++i) {
            m[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
        }
    };
    patch(4, m.size() - bodyStart);
    patch(12, fieldsEnd - 16);
    return m;
}

const std::string kAgreed = "OK 0123456789abcdef\r\nAGREE_UNIX_FD\r\n";

class LogindInhibitor : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_);
        fs::remove(socket_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    const fs::path dir_ = fs::temp_directory_path() / ("zelfin-bus-" + std::to_string(::getpid()));
    const std::string socket_ = (dir_ / "bus").string();
};

TEST_F(LogindInhibitor, NoWorkingBusMeansNoLock) {
    enum class At { Nothing, File, Peer, PeerHangingUp };
    struct Case {
        const char* what;
        At at;
        std::string script;
        InhibitResult result;
    };
    const Case cases[] = {
        {"no socket", At::Nothing, "", InhibitResult::NoBus},
        {"a plain file", At::File, "", InhibitResult::NoBus},
        {"never answers", At::Peer, "", InhibitResult::NoAnswer},
        {"hangs up at once", At::PeerHangingUp, "", InhibitResult::BadAnswer},
        {"rejects our user", At::Peer, "REJECTED EXTERNAL\r\n", InhibitResult::Refused},
        {"passes no descriptors", At::Peer, "OK 0123456789abcdef\r\nERROR\r\n",
         InhibitResult::Refused},
        {"a line without end", At::Peer, std::string(dbus::kMaxMessage + 1, 'x'),
         InhibitResult::BadAnswer},
        {"garbage for a message", At::Peer, kAgreed + "this is not a message of the bus",
         InhibitResult::BadAnswer},
        {"a message too long to read", At::Peer,
         kAgreed + std::string("l\x02\x00\x01\x00\x00\x10\x00\x01\x00\x00\x00\x00\x00\x00\x00", 16),
         InhibitResult::BadAnswer},
    };
    for (const Case& c : cases) {
        fs::remove(socket_);
        const std::size_t before = OpenDescriptors();
        {
            std::unique_ptr<Peer> peer;
            if (c.at == At::File) {
                std::ofstream(socket_) << "not a socket";
            } else if (c.at != At::Nothing) {
                peer = std::make_unique<Peer>(socket_, std::vector<Segment>{{c.script}},
                                              c.at == At::PeerHangingUp);
            }
            const InhibitOutcome outcome = TakeInhibitorLock(socket_.c_str(), kRunInhibit, 200);
            EXPECT_EQ(outcome.result, c.result) << c.what;
            EXPECT_EQ(outcome.fd, -1) << c.what;
        }
        EXPECT_EQ(OpenDescriptors(), before) << c.what;
    }
    const std::string tooLong(sizeof(sockaddr_un::sun_path), 'x');
    EXPECT_EQ(TakeInhibitorLock(tooLong.c_str(), kRunInhibit, 200).result, InhibitResult::NoBus);
}

ino_t Inode(int fd) {
    struct stat status {};
    ::fstat(fd, &status);
    return status.st_ino;
}

// Anyone on the bus may send us a message carrying a serial of ours; the bus only vouches for
// who sent it. Each forgery, with descriptors where it could carry them, comes before the real
// answer, which must still be the one taken.
TEST_F(LogindInhibitor, OnlyTheAnswerOfLogindsOwnerIsTaken) {
    using enum dbus::MessageType;
    const std::string_view bus = "org.freedesktop.DBus";
    int forged[2];
    int real[2];
    ASSERT_EQ(::pipe2(forged, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(real, O_CLOEXEC), 0);
    struct Case {
        const char* what;
        std::vector<Segment> beforeOwner;
        std::vector<Segment> beforeAnswer;
    };
    const Case cases[] = {
        {"logind's signal with the serial of Inhibit", {}, {{Reply(Signal, 3, ":1.5"), forged[1]}}},
        {"another peer's return", {}, {{Reply(MethodReturn, 3, ":1.9"), forged[1]}}},
        {"another peer's error",
         {},
         {{Reply(Error, 3, ":1.9", "org.freedesktop.DBus.Error.Failed")}}},
        {"the bus's own return", {}, {{Reply(MethodReturn, 3, bus), forged[1]}}},
        {"another peer naming itself the owner",
         {{Reply(MethodReturn, 2, ":1.9", ":1.9")}},
         {{Reply(MethodReturn, 3, ":1.9"), forged[1]}}},
    };
    for (const Case& c : cases) {
        const std::size_t before = OpenDescriptors();
        {
            std::vector<Segment> script{{kAgreed + Reply(MethodReturn, 1, bus, ":1.7")}};
            script.insert(script.end(), c.beforeOwner.begin(), c.beforeOwner.end());
            script.push_back({Reply(MethodReturn, 2, bus, ":1.5")});
            script.insert(script.end(), c.beforeAnswer.begin(), c.beforeAnswer.end());
            script.push_back({Reply(MethodReturn, 3, ":1.5"), real[1]});
            Peer peer(socket_, script, false);
            const InhibitOutcome outcome = TakeInhibitorLock(socket_.c_str(), kRunInhibit, 1000);
            EXPECT_EQ(outcome.result, InhibitResult::Locked) << c.what;
            EXPECT_EQ(Inode(outcome.fd), Inode(real[1])) << c.what;
            ::close(outcome.fd);
        }
        EXPECT_EQ(OpenDescriptors(), before) << c.what;
        fs::remove(socket_);
    }
    for (int fd : {forged[0], forged[1], real[0], real[1]}) {
        ::close(fd);
    }
}

} // namespace
} // namespace zelfin::linuxos
