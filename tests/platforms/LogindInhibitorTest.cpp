// The lock's exchange with what is not a working bus: nothing at the path, or a peer that never
// answers, hangs up, refuses us or sends garbage. Each ends without a lock and leaves no
// descriptor open; a real bus is logind-inhibit.sh's.
#include "platforms/linux/LogindInhibitor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

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

// Plays a bus at path: takes one connection, sends the script, then waits for us to hang up
// (or, when hangUp, hangs up at once).
class Peer {
public:
    Peer(const std::string& path, std::string script, bool hangUp) {
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
                [[maybe_unused]] const auto sent =
                    ::send(client, script.data(), script.size(), MSG_NOSIGNAL);
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

TEST(LogindInhibitor, NoWorkingBusMeansNoLock) {
    const fs::path dir = fs::temp_directory_path() / ("zelfin-bus-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string socket = (dir / "bus").string();
    const std::string agreed = "OK 0123456789abcdef\r\nAGREE_UNIX_FD\r\n";
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
        {"garbage for a message", At::Peer, agreed + "this is not a message of the bus",
         InhibitResult::BadAnswer},
        {"a message too long to read", At::Peer,
         agreed + std::string("l\x02\x00\x01\x00\x00\x10\x00\x01\x00\x00\x00\x00\x00\x00\x00", 16),
         InhibitResult::BadAnswer},
    };
    for (const Case& c : cases) {
        fs::remove(socket);
        const std::size_t before = OpenDescriptors();
        {
            std::unique_ptr<Peer> peer;
            if (c.at == At::File) {
                std::ofstream(socket) << "not a socket";
            } else if (c.at != At::Nothing) {
                peer = std::make_unique<Peer>(socket, c.script, c.at == At::PeerHangingUp);
            }
            const InhibitOutcome outcome = TakeInhibitorLock(socket.c_str(), kRunInhibit, 200);
            EXPECT_EQ(outcome.result, c.result) << c.what;
            EXPECT_EQ(outcome.fd, -1) << c.what;
        }
        EXPECT_EQ(OpenDescriptors(), before) << c.what;
    }
    const std::string tooLong(sizeof(sockaddr_un::sun_path), 'x');
    EXPECT_EQ(TakeInhibitorLock(tooLong.c_str(), kRunInhibit, 200).result, InhibitResult::NoBus);
    fs::remove_all(dir);
}

} // namespace
} // namespace zelfin::linuxos
