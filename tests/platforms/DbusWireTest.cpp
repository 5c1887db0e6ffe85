// The D-Bus wire format of the inhibitor lock: the Inhibit call against bytes checked by hand,
// and the reading of what the bus sends back, which is untrusted.
#include "platforms/linux/DbusWire.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace zelfin::linuxos::dbus {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Each header field starts 8-aligned: code, signature, value. The body starts 8-aligned after
// the fields; each string is 4-aligned, its length before it and a NUL after it.
constexpr char kInhibitCall[] =
    "l\x01\x00\x01"
    "\x5e\x00\x00\x00" // body: 94 bytes
    "\x02\x00\x00\x00" // serial 2
    "\x82\x00\x00\x00" // fields: 130 bytes, from 0x10 to 0x92
    "\x01\x01o\x00"
    "\x17\x00\x00\x00"
    "/org/freedesktop/login1\x00" // path, to 0x30
    "\x02\x01s\x00"
    "\x1e\x00\x00\x00"
    "org.freedesktop.login1.Manager\x00"
    "\x00" // interface, padded to 0x58
    "\x03\x01s\x00"
    "\x07\x00\x00\x00"
    "Inhibit\x00" // member, to 0x68
    "\x06\x01s\x00"
    "\x16\x00\x00\x00"
    "org.freedesktop.login1\x00"
    "\x00" // destination, padded to 0x88
    "\x08\x01g\x00"
    "\x04ssss\x00"
    "\x00\x00\x00\x00\x00\x00" // signature, to 0x92; the body starts at 0x98
    "\x13\x00\x00\x00"
    "shutdown:sleep:idle\x00"
    "\x06\x00\x00\x00"
    "zelfin\x00"
    "\x00"
    "\x29\x00\x00\x00"
    "Updating the firmware of an optical drive\x00"
    "\x00\x00"
    "\x05\x00\x00\x00"
    "block";

constexpr std::string_view kArguments[] = {"shutdown:sleep:idle", "zelfin",
                                           "Updating the firmware of an optical drive", "block"};
constexpr MethodCall kInhibit{"org.freedesktop.login1", "/org/freedesktop/login1",
                              "org.freedesktop.login1.Manager", "Inhibit", kArguments};

TEST(DbusWire, WritesTheInhibitCallByteForByte) {
    uint8_t out[kMaxMessage];
    const std::size_t length = WriteMethodCall(out, kInhibit, 2);
    const std::string_view expected(kInhibitCall, sizeof kInhibitCall); // with block's NUL
    ASSERT_EQ(length, expected.size());
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(out), length), expected);
}

TEST(DbusWire, WritesNothingThatDoesNotFitOrCannotBeCarried) {
    uint8_t out[kMaxMessage];
    for (std::size_t room = 0; room < sizeof kInhibitCall; ++room) {
        EXPECT_EQ(WriteMethodCall(std::span(out, room), kInhibit, 2), 0u) << room;
    }
    const std::string_view withNul[] = {std::string_view("a\0b", 3)};
    MethodCall call = kInhibit;
    call.arguments = withNul;
    EXPECT_EQ(WriteMethodCall(out, call, 2), 0u);
    EXPECT_EQ(WriteMethodCall(out, kInhibit, 0), 0u); // serial 0 is not a serial
}

// logind's answer as the bus passes it on: a method return to serial 2, one descriptor,
// index 0 in the body.
constexpr char kLockReturn[] = "l\x02\x00\x01"
                               "\x04\x00\x00\x00"
                               "\x07\x00\x00\x00"
                               "\x25\x00\x00\x00" // fields: 0x10 to 0x35
                               "\x05\x01u\x00"
                               "\x02\x00\x00\x00" // reply serial
                               "\x08\x01g\x00"
                               "\x01h\x00"
                               "\x00" // signature "h"
                               "\x09\x01u\x00"
                               "\x01\x00\x00\x00" // one descriptor, at 0x24
                               "\x07\x01s\x00"
                               "\x04\x00\x00\x00"
                               ":1.5\x00" // sender, to 0x35
                               "\x00\x00\x00"
                               "\x00\x00\x00"; // body at 0x38: index 0

std::vector<uint8_t> LockReturn() {
    return Bytes(std::string_view(kLockReturn, sizeof kLockReturn));
}

TEST(DbusWire, ReadsTheLockReturnAndABigEndianError) {
    Message message;
    const auto reply = LockReturn();
    ASSERT_EQ(ReadMessage(reply, kMaxMessage, message), Framing::Complete);
    EXPECT_EQ(message.type, MessageType::MethodReturn);
    EXPECT_EQ(message.replySerial, 2u);
    EXPECT_EQ(message.sender, ":1.5");
    EXPECT_EQ(message.totalLength, reply.size());
    uint32_t index = 99;
    EXPECT_TRUE(ReadUnixFdReturn(message, index));
    EXPECT_EQ(index, 0u);

    constexpr char error[] = "B\x03\x00\x01"
                             "\x00\x00\x00\x00"
                             "\x00\x00\x00\x09"
                             "\x00\x00\x00\x38"
                             "\x04\x01s\x00"
                             "\x00\x00\x00\x27"
                             "org.freedesktop.DBus.Error.AccessDenied\x00"
                             "\x05\x01u\x00"
                             "\x00\x00\x00\x02"; // reply serial
    const auto bytes = Bytes(std::string_view(error, sizeof error - 1));
    ASSERT_EQ(ReadMessage(bytes, kMaxMessage, message), Framing::Complete);
    EXPECT_EQ(message.type, MessageType::Error);
    EXPECT_EQ(message.replySerial, 2u);
    EXPECT_EQ(message.errorName, "org.freedesktop.DBus.Error.AccessDenied");
    EXPECT_FALSE(ReadUnixFdReturn(message, index));
}

TEST(DbusWire, ATruncatedOrOverlongReplyIsNeverAMessage) {
    const auto reply = LockReturn();
    Message message;
    for (std::size_t length = 0; length < reply.size(); ++length) {
        const std::vector<uint8_t> part(reply.begin(), reply.begin() + length);
        EXPECT_EQ(ReadMessage(part, kMaxMessage, message), Framing::Incomplete) << length;
        EXPECT_EQ(ReadMessage(reply, length, message), Framing::Bad) << length;
    }
}

TEST(DbusWire, GarbageInTheReplyIsRefused) {
    struct Case {
        const char* what;
        std::size_t at;
        std::vector<uint8_t> bytes;
        Framing framing; // Complete: framed, but no descriptor to take
    };
    const Case cases[] = {
        {"unknown byte order", 0, {'x'}, Framing::Bad},
        {"protocol version 2", 3, {2}, Framing::Bad},
        {"message type 0", 1, {0}, Framing::Bad},
        {"serial 0", 8, {0, 0, 0, 0}, Framing::Bad},
        {"fields near 4 GiB", 12, {0x00, 0xff, 0xff, 0xff}, Framing::Bad},
        {"body near 4 GiB", 4, {0xff, 0xff, 0xff, 0xff}, Framing::Bad},
        {"fields end inside the sender", 12, {0x24}, Framing::Bad},
        {"sender longer than the fields", 0x2c, {0xff, 0xff, 0xff, 0x7f}, Framing::Bad},
        {"sender without its NUL", 0x34, {'x'}, Framing::Bad},
        {"signature given as a string", 0x1a, {'s'}, Framing::Bad},
        {"padding that is not NUL", 0x1f, {1}, Framing::Bad},
        {"a container in an unknown field", 0x28, {0x7f, 0x01, 'a'}, Framing::Bad},
        {"no descriptor carried", 0x24, {0}, Framing::Complete},
        {"index past the descriptors", 0x38, {1}, Framing::Complete},
        {"a string returned", 0x1d, {'s'}, Framing::Complete},
        {"a signal", 1, {4}, Framing::Complete},
    };
    for (const Case& c : cases) {
        auto reply = LockReturn();
        std::memcpy(reply.data() + c.at, c.bytes.data(), c.bytes.size());
        Message message;
        EXPECT_EQ(ReadMessage(reply, kMaxMessage, message), c.framing) << c.what;
        uint32_t index = 0;
        EXPECT_FALSE(ReadUnixFdReturn(message, index)) << c.what;
    }
}

// The bus's answer to GetNameOwner: a method return to serial 2 from the bus itself, the
// owner's unique name in the body.
constexpr char kOwnerReturn[] = "l\x02\x00\x01"
                                "\x09\x00\x00\x00"
                                "\x07\x00\x00\x00"
                                "\x2d\x00\x00\x00" // fields: 0x10 to 0x3d
                                "\x05\x01u\x00"
                                "\x02\x00\x00\x00" // reply serial
                                "\x08\x01g\x00"
                                "\x01s\x00"
                                "\x00" // signature "s", padded to 0x20
                                "\x07\x01s\x00"
                                "\x14\x00\x00\x00"
                                "org.freedesktop.DBus\x00" // sender, to 0x3d
                                "\x00\x00\x00"
                                "\x04\x00\x00\x00"
                                ":1.5"; // body at 0x40, its NUL the array's own

TEST(DbusWire, ReadsTheOwnersNameAndNothingElseForIt) {
    struct Case {
        const char* what;
        std::size_t at;
        std::vector<uint8_t> bytes;
        bool read;
    };
    const Case cases[] = {
        {"the bus's answer", 0, {}, true},
        {"a name longer than the body", 0x40, {5}, false},
        {"bytes after the name", 0x40, {2, 0, 0, 0, ':', '1', 0}, false},
        {"a NUL inside the name", 0x45, {0}, false},
        {"an integer returned", 0x1d, {'u'}, false},
        {"a signal", 1, {4}, false},
    };
    for (const Case& c : cases) {
        auto reply = Bytes(std::string_view(kOwnerReturn, sizeof kOwnerReturn));
        std::copy(c.bytes.begin(), c.bytes.end(), reply.begin() + static_cast<long>(c.at));
        Message message;
        ASSERT_EQ(ReadMessage(reply, kMaxMessage, message), Framing::Complete) << c.what;
        EXPECT_EQ(message.sender, "org.freedesktop.DBus") << c.what;
        std::string_view name;
        EXPECT_EQ(ReadStringReturn(message, name), c.read) << c.what;
        if (c.read) {
            EXPECT_EQ(name, ":1.5");
        }
    }
}

// Every single-byte change of the reply, each read from a buffer of exactly its size, so the
// sanitizers see any read past it.
TEST(DbusWire, NoChangedByteMakesTheReaderLeaveItsBytes) {
    const auto reply = LockReturn();
    for (std::size_t at = 0; at < reply.size(); ++at) {
        for (int value = 0; value < 256; ++value) {
            auto changed = reply;
            changed[at] = static_cast<uint8_t>(value);
            Message message;
            if (ReadMessage(changed, kMaxMessage, message) == Framing::Complete) {
                ASSERT_LE(message.totalLength, changed.size());
                ASSERT_GE(message.body.data(), changed.data());
                ASSERT_LE(message.body.data() + message.body.size(),
                          changed.data() + changed.size());
            }
        }
    }
}

} // namespace
} // namespace zelfin::linuxos::dbus
