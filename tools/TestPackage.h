#pragma once

// A complete synthetic package for tests, the simulated drive and demos: a firmware image that
// carries the drive's identity records, and the package description that ships it.

#include "package/PackageBlock.h"
#include "tools/PackageDescription.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin::testpackage {

// Revisions sort as text: digits before upper-case letters, so "B100" is after every "1Axx".
inline constexpr std::string_view kBootRevision = "B100";   // what the boot area reports
inline constexpr std::string_view kOldestRevision = "1A00"; // lowest replaceable main firmware
inline constexpr std::string_view kOldRevision = "1A05";    // a drive in need of the update
inline constexpr std::string_view kNewRevision = "1A07";    // the main firmware in the package
inline constexpr std::string_view kNewerRevision = "1A08";  // past the package: not eligible

inline constexpr std::string_view kVendor = "BRYMOTE ";          // INQUIRY bytes 8..15
inline constexpr std::string_view kProduct = "DVDRW RVM-270A  "; // INQUIRY bytes 16..31
inline constexpr std::string_view kModel = "BRYMOTE DVDRW RVM-270A";
inline constexpr std::string_view kTitle = "Flash Program for BRYMOTE DVDRW RVM-270A";

inline constexpr std::string_view kBootStamp = "2004/03/02 10:15";
inline constexpr std::string_view kMainStamp = "2004/04/19 16:40";

// Where the identity records sit in the image.
inline constexpr std::size_t kBootAreaSize = 0x10000;
inline constexpr std::size_t kBootIdentifyAt = 0x589;
inline constexpr std::size_t kBootInquiryAt = 0x63D;
inline constexpr std::size_t kMainIdentifyAt = 0x6124C;
inline constexpr std::size_t kMainInquiryAt = 0x61300;
// Within an identify-device record (text fields byte-swapped per 16-bit word).
inline constexpr std::size_t kIdentifySerialAt = 20;
inline constexpr std::size_t kIdentifyRevisionAt = 46;
inline constexpr std::size_t kIdentifyModelAt = 54;
// Within an INQUIRY record.
inline constexpr std::size_t kInquiryVendorAt = 8;
inline constexpr std::size_t kInquiryProductAt = 16;
inline constexpr std::size_t kInquiryRevisionAt = 32;
inline constexpr std::size_t kInquiryStampAt = 36;

struct ImageIdentity {
    std::string bootRevision{kBootRevision};
    std::string mainRevision{kNewRevision};
    std::string bootStamp{kBootStamp};
    std::string mainStamp{kMainStamp};
};

// A 1,048,576-byte image: an 8051 jump table, a deterministic pattern seeded by the revisions,
// and the identify-device and INQUIRY records of the boot area and the main firmware.
std::vector<std::uint8_t> makeImage(const ImageIdentity& identity);
std::vector<std::uint8_t> makeImage(std::string_view bootRevision, std::string_view mainRevision);

// The package as shipped: title, shipped settings, bank 1 = the whole new image, group 1
// slot 1 from kOldestRevision to kNewRevision and slot 2 at kBootRevision, exact vendor and
// product, every other slot unfilled.
pack::PackageDescription shippedDescription();
// The same as description text, naming `imageFile` as bank 1's image.
std::string shippedDescriptionText(std::string_view imageFile);
// The filled block (composed by the packer; throws if the packer refuses it).
std::unique_ptr<PackageBlock> makeShippedBlock();

} // namespace zelfin::testpackage
