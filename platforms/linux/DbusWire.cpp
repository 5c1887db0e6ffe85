#include "platforms/linux/DbusWire.h"

#include <cstring>

namespace zelfin::linuxos::dbus {
namespace {

// Header field codes.
constexpr uint8_t kFieldPath = 1;
constexpr uint8_t kFieldInterface = 2;
constexpr uint8_t kFieldMember = 3;
constexpr uint8_t kFieldErrorName = 4;
constexpr uint8_t kFieldReplySerial = 5;
constexpr uint8_t kFieldDestination = 6;
constexpr uint8_t kFieldSender = 7;
constexpr uint8_t kFieldSignature = 8;
constexpr uint8_t kFieldUnixFds = 9;

constexpr std::size_t kFixedHeader = 16;

constexpr uint64_t AlignUp(uint64_t at, uint64_t alignment) {
    return (at + alignment - 1) / alignment * alignment;
}

// Appends to a fixed buffer; once anything does not fit, nothing more is written and the
// whole message counts as not written.
class Writer {
public:
    explicit Writer(std::span<uint8_t> out) : out_(out) {}

    void byte(uint8_t value) {
        if (length_ >= out_.size()) {
            fits_ = false;
            return;
        }
        out_[length_++] = value;
    }
    void pad(std::size_t alignment) {
        while (fits_ && length_ % alignment != 0) {
            byte(0);
        }
    }
    void u32(uint32_t value) {
        pad(4);
        for (int shift = 0; shift < 32; shift += 8) {
            byte(static_cast<uint8_t>(value >> shift));
        }
    }
    void text(std::string_view value) {
        for (char c : value) {
            byte(static_cast<uint8_t>(c));
        }
        byte(0);
    }
    void string(std::string_view value) {
        u32(static_cast<uint32_t>(value.size()));
        text(value);
    }
    void signature(std::string_view value) {
        byte(static_cast<uint8_t>(value.size()));
        text(value);
    }
    void stringField(uint8_t code, char type, std::string_view value) {
        pad(8);
        byte(code);
        const char typeText[] = {type, '\0'};
        signature(typeText);
        string(value);
    }
    void patch32(std::size_t at, uint32_t value) {
        if (fits_) {
            for (int i = 0; i < 4; ++i) {
                out_[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
            }
        }
    }

    std::size_t length() const { return length_; }
    bool fits() const { return fits_; }

private:
    std::span<uint8_t> out_;
    std::size_t length_ = 0;
    bool fits_ = true;
};

// D-Bus strings carry no NUL.
bool Carriable(std::string_view value) {
    return value.find('\0') == std::string_view::npos;
}

// Reads the header fields in place. Every read checks the end of the fields first.
class Reader {
public:
    Reader(std::span<const uint8_t> bytes, std::size_t at, std::size_t end, bool bigEndian)
        : bytes_(bytes), at_(at), end_(end), bigEndian_(bigEndian) {}

    bool atEnd() const { return at_ >= end_; }

    // Padding is NUL bytes, and never runs past the end.
    bool align(std::size_t alignment) {
        const uint64_t to = AlignUp(at_, alignment);
        if (to > end_) {
            return false;
        }
        for (; at_ < to; ++at_) {
            if (bytes_[at_] != 0) {
                return false;
            }
        }
        return true;
    }
    bool u8(uint8_t& value) {
        if (at_ >= end_) {
            return false;
        }
        value = bytes_[at_++];
        return true;
    }
    bool u32(uint32_t& value) {
        if (!align(4) || end_ - at_ < 4) {
            return false;
        }
        value = Load32(bytes_.data() + at_, bigEndian_);
        at_ += 4;
        return true;
    }
    bool skip(std::size_t size, std::size_t alignment) {
        if (!align(alignment) || end_ - at_ < size) {
            return false;
        }
        at_ += size;
        return true;
    }
    // A string or object path: length, bytes, NUL, and no NUL inside.
    bool string(std::string_view& value) {
        uint32_t length = 0;
        return u32(length) && text(length, value);
    }
    bool signature(std::string_view& value) {
        uint8_t length = 0;
        return u8(length) && text(length, value);
    }

    static uint32_t Load32(const uint8_t* at, bool bigEndian) {
        if (bigEndian) {
            return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
        }
        return uint32_t{at[3]} << 24 | uint32_t{at[2]} << 16 | uint32_t{at[1]} << 8 | at[0];
    }

private:
    bool text(uint32_t length, std::string_view& value) {
        if (end_ - at_ <= length) { // the NUL after the text must be there too
            return false;
        }
        const auto* start = reinterpret_cast<const char*>(bytes_.data() + at_);
        if (start[length] != '\0' || std::memchr(start, '\0', length) != nullptr) {
            return false;
        }
        value = std::string_view(start, length);
        at_ += std::size_t{length} + 1;
        return true;
    }

    std::span<const uint8_t> bytes_;
    std::size_t at_;
    std::size_t end_;
    bool bigEndian_;
};

// Skips the value of a header field this side does not use; only single basic types are
// read past, anything else ends the reading.
bool SkipBasic(Reader& reader, std::string_view type) {
    if (type.size() != 1) {
        return false;
    }
    std::string_view ignored;
    switch (type[0]) {
    case 'y':
        return reader.skip(1, 1);
    case 'n':
    case 'q':
        return reader.skip(2, 2);
    case 'b':
    case 'i':
    case 'u':
    case 'h':
        return reader.skip(4, 4);
    case 'x':
    case 't':
    case 'd':
        return reader.skip(8, 8);
    case 's':
    case 'o':
        return reader.string(ignored);
    case 'g':
        return reader.signature(ignored);
    default:
        return false;
    }
}

bool ReadField(Reader& reader, Message& message) {
    uint8_t code = 0;
    std::string_view type;
    if (!reader.align(8) || !reader.u8(code) || !reader.signature(type)) {
        return false;
    }
    std::string_view ignored;
    switch (code) {
    case kFieldPath:
        return type == "o" && reader.string(ignored);
    case kFieldInterface:
    case kFieldMember:
    case kFieldDestination:
        return type == "s" && reader.string(ignored);
    case kFieldSender:
        return type == "s" && reader.string(message.sender) && message.sender.size() <= kMaxName;
    case kFieldErrorName:
        return type == "s" && reader.string(message.errorName) &&
               message.errorName.size() <= kMaxName;
    case kFieldReplySerial:
        message.hasReplySerial = true;
        return type == "u" && reader.u32(message.replySerial);
    case kFieldSignature:
        return type == "g" && reader.signature(message.signature);
    case kFieldUnixFds:
        return type == "u" && reader.u32(message.unixFds);
    default:
        return SkipBasic(reader, type);
    }
}

} // namespace

std::size_t WriteMethodCall(std::span<uint8_t> out, const MethodCall& call, uint32_t serial) {
    if (serial == 0 || call.arguments.size() > kMaxStringArguments) {
        return 0;
    }
    for (std::string_view text : {call.destination, call.path, call.interface, call.member}) {
        if (!Carriable(text) || text.size() > kMaxName) {
            return 0;
        }
    }
    for (std::string_view argument : call.arguments) {
        if (!Carriable(argument)) {
            return 0;
        }
    }
    char signature[kMaxStringArguments];
    std::memset(signature, 's', sizeof signature);

    Writer w(out);
    w.byte('l');
    w.byte(static_cast<uint8_t>(MessageType::MethodCall));
    w.byte(0); // flags: a reply is wanted
    w.byte(1); // protocol version
    w.u32(0);  // body length, filled in below
    w.u32(serial);
    w.u32(0); // length of the header fields, filled in below
    w.stringField(kFieldPath, 'o', call.path);
    if (!call.interface.empty()) {
        w.stringField(kFieldInterface, 's', call.interface);
    }
    w.stringField(kFieldMember, 's', call.member);
    if (!call.destination.empty()) {
        w.stringField(kFieldDestination, 's', call.destination);
    }
    if (!call.arguments.empty()) {
        w.pad(8);
        w.byte(kFieldSignature);
        w.signature("g");
        w.signature(std::string_view(signature, call.arguments.size()));
    }
    const std::size_t fieldsEnd = w.length();
    w.pad(8);
    const std::size_t bodyStart = w.length();
    for (std::string_view argument : call.arguments) {
        w.string(argument);
    }
    w.patch32(4, static_cast<uint32_t>(w.length() - bodyStart));
    w.patch32(12, static_cast<uint32_t>(fieldsEnd - kFixedHeader));
    return w.fits() ? w.length() : 0;
}

Framing ReadMessage(std::span<const uint8_t> bytes, std::size_t limit, Message& message) {
    message = Message{};
    if (bytes.size() < kFixedHeader) {
        return Framing::Incomplete;
    }
    if (bytes[0] != 'l' && bytes[0] != 'B') {
        return Framing::Bad;
    }
    message.bigEndian = bytes[0] == 'B';
    if (bytes[1] == 0 || bytes[3] != 1) {
        return Framing::Bad;
    }
    message.type = static_cast<MessageType>(bytes[1]); // other types are framed, then ignored
    const uint32_t bodyLength = Reader::Load32(bytes.data() + 4, message.bigEndian);
    message.serial = Reader::Load32(bytes.data() + 8, message.bigEndian);
    const uint32_t fieldsLength = Reader::Load32(bytes.data() + 12, message.bigEndian);
    if (message.serial == 0) {
        return Framing::Bad;
    }
    // In 64 bits, so lengths near 4 GiB cannot wrap round to something small.
    const uint64_t fieldsEnd = kFixedHeader + uint64_t{fieldsLength};
    const uint64_t bodyStart = AlignUp(fieldsEnd, 8);
    const uint64_t total = bodyStart + bodyLength;
    if (total > limit) {
        return Framing::Bad;
    }
    if (bytes.size() < total) {
        return Framing::Incomplete;
    }
    Reader reader(bytes, kFixedHeader, static_cast<std::size_t>(fieldsEnd), message.bigEndian);
    while (!reader.atEnd()) {
        if (!ReadField(reader, message)) {
            return Framing::Bad;
        }
    }
    const bool isReply =
        message.type == MessageType::MethodReturn || message.type == MessageType::Error;
    if ((isReply && !message.hasReplySerial) ||
        (message.type == MessageType::Error && message.errorName.empty())) {
        return Framing::Bad;
    }
    message.body = bytes.subspan(static_cast<std::size_t>(bodyStart), bodyLength);
    if (!message.body.empty() && message.signature.empty()) {
        return Framing::Bad;
    }
    message.totalLength = static_cast<std::size_t>(total);
    return Framing::Complete;
}

bool ReadUnixFdReturn(const Message& message, uint32_t& fdIndex) {
    if (message.type != MessageType::MethodReturn || message.signature != "h" ||
        message.body.size() != 4) {
        return false;
    }
    fdIndex = Reader::Load32(message.body.data(), message.bigEndian);
    return fdIndex < message.unixFds;
}

bool ReadStringReturn(const Message& message, std::string_view& value) {
    if (message.type != MessageType::MethodReturn || message.signature != "s") {
        return false;
    }
    Reader reader(message.body, 0, message.body.size(), message.bigEndian);
    return reader.string(value) && reader.atEnd();
}

} // namespace zelfin::linuxos::dbus
