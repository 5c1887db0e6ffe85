#pragma once
// The few pieces of the D-Bus wire format the inhibitor lock needs: a method call whose
// arguments are all strings, and the reading of any message the bus sends back. What the bus
// sends is untrusted: every length and offset is checked against the bytes at hand.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace zelfin::linuxos::dbus {

// Long enough for every message of the exchange; a longer one ends it.
inline constexpr std::size_t kMaxMessage = 4096;
// A valid bus, interface, member or error name is at most this long.
inline constexpr std::size_t kMaxName = 255;
inline constexpr std::size_t kMaxStringArguments = 8;

enum class MessageType : uint8_t {
    Invalid = 0,
    MethodCall = 1,
    MethodReturn = 2,
    Error = 3,
    Signal = 4,
};

struct MethodCall {
    std::string_view destination;
    std::string_view path;
    std::string_view interface;
    std::string_view member;
    std::span<const std::string_view> arguments; // each marshalled as "s"
};

// Writes the call, little-endian, into out: its length, or 0 when it does not fit or has more
// than kMaxStringArguments arguments.
std::size_t WriteMethodCall(std::span<uint8_t> out, const MethodCall& call, uint32_t serial);

// A message read in place: the views point into the bytes it was read from.
struct Message {
    MessageType type = MessageType::Invalid;
    uint32_t serial = 0;
    bool hasReplySerial = false;
    uint32_t replySerial = 0;
    uint32_t unixFds = 0;
    std::string_view sender; // set by the bus on every message it passes on
    std::string_view signature;
    std::string_view errorName;
    bool bigEndian = false;
    std::span<const uint8_t> body;
    std::size_t totalLength = 0; // header, fields, padding and body
};

enum class Framing {
    Incomplete, // the bytes end before the message does: read more
    Bad,        // not a message this side will read, or longer than limit
    Complete,
};

// Reads the message at the start of bytes; the bytes after it are left alone.
Framing ReadMessage(std::span<const uint8_t> bytes, std::size_t limit, Message& message);

// The index, among the message's own descriptors, of the single "h" a method return carries;
// false when the message is not such a return or the index names no descriptor it carries.
bool ReadUnixFdReturn(const Message& message, uint32_t& fdIndex);

// The single "s" a method return carries, and nothing after it.
bool ReadStringReturn(const Message& message, std::string_view& value);

} // namespace zelfin::linuxos::dbus
