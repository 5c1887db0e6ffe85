#include "tools/TestPackage.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace zelfin::testpackage {

namespace {

std::uint32_t seedOf(std::string_view text) {
    std::uint32_t h = 2166136261u; // FNV-1a
    for (unsigned char c : text)
        h = (h ^ c) * 16777619u;
    return h ? h : 1u;
}

void fillPattern(std::uint8_t* bytes, std::size_t count, std::uint32_t seed) {
    std::uint32_t x = seed;
    for (std::size_t i = 0; i < count; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<std::uint8_t>(x >> 24);
    }
}

// Text padded with blanks to `width`; refuses text that does not fit.
std::string padded(std::string_view text, std::size_t width) {
    if (text.size() > width)
        throw std::invalid_argument("identity text \"" + std::string(text) + "\" is longer than " +
                                    std::to_string(width) + " characters");
    std::string s(text);
    s.resize(width, ' ');
    return s;
}

void putText(std::vector<std::uint8_t>& image, std::size_t at, const std::string& text) {
    std::memcpy(image.data() + at, text.data(), text.size());
}

// ATA identify data stores text two characters per little-endian word, first character high.
void putSwapped(std::vector<std::uint8_t>& image, std::size_t at, const std::string& text) {
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        image[at + i] = static_cast<std::uint8_t>(text[i + 1]);
        image[at + i + 1] = static_cast<std::uint8_t>(text[i]);
    }
}

void putIdentify(std::vector<std::uint8_t>& image, std::size_t at, std::string_view revision) {
    std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(at), 512, std::uint8_t{0});
    image[at] = 0xC0; // word 0 = 0x85C0: ATAPI, CD-ROM class, removable
    image[at + 1] = 0x85;
    putSwapped(image, at + kIdentifySerialAt, std::string(20, ' '));
    putSwapped(image, at + kIdentifyRevisionAt, padded(revision, 4) + "    ");
    putSwapped(image, at + kIdentifyModelAt, padded(kModel, 40));
}

void putInquiry(std::vector<std::uint8_t>& image, std::size_t at, std::uint8_t additional,
                std::string_view revision, std::string_view stamp) {
    const std::uint8_t header[8] = {0x05, 0x80, 0x00, 0x32, additional, 0x00, 0x00, 0x00};
    std::memcpy(image.data() + at, header, sizeof header);
    putText(image, at + kInquiryVendorAt, padded(kVendor, 8));
    putText(image, at + kInquiryProductAt, padded(kProduct, 16));
    putText(image, at + kInquiryRevisionAt, padded(revision, 4));
    putText(image, at + kInquiryStampAt, padded(stamp, 16));
}

} // namespace

std::vector<std::uint8_t> makeImage(const ImageIdentity& id) {
    std::vector<std::uint8_t> image(kImageSize);
    fillPattern(image.data(), kBootAreaSize, seedOf(id.bootRevision));
    fillPattern(image.data() + kBootAreaSize, kImageSize - kBootAreaSize, seedOf(id.mainRevision));

    // Reset and interrupt vectors: LJMP to the start-up code and to one handler per vector.
    const std::size_t vectors[] = {0x00, 0x03, 0x0B, 0x13, 0x1B, 0x23};
    for (std::size_t i = 0; i < std::size(vectors); ++i) {
        const std::size_t target = 0x0100 + i * 0x40;
        image[vectors[i]] = 0x02;
        image[vectors[i] + 1] = static_cast<std::uint8_t>(target >> 8);
        image[vectors[i] + 2] = static_cast<std::uint8_t>(target & 0xFF);
    }

    // Each INQUIRY record lies inside its identify record's 512 bytes, so it goes in second.
    putIdentify(image, kBootIdentifyAt, id.bootRevision);
    putInquiry(image, kBootInquiryAt, 0x1F, id.bootRevision, id.bootStamp);
    putIdentify(image, kMainIdentifyAt, id.mainRevision);
    putInquiry(image, kMainInquiryAt, 0x5B, id.mainRevision, id.mainStamp);
    return image;
}

std::vector<std::uint8_t> makeImage(std::string_view bootRevision, std::string_view mainRevision) {
    ImageIdentity id;
    id.bootRevision = bootRevision;
    id.mainRevision = mainRevision;
    return makeImage(id);
}

} // namespace zelfin::testpackage
