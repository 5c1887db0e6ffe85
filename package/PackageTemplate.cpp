#include "package/PackageTemplate.h"

#include <cstring>
#include <string_view>

namespace zelfin {

namespace {
template <std::size_t N> void put(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size() < N ? text.size() : N - 1);
}
} // namespace

// Keep in step with EmbeddedPackage.cpp; a test compares the two byte for byte.
void writeTemplate(PackageBlock& block) {
    std::memset(&block, 0, sizeof block);
    put(block.PROGRAMMER_TAG, "PROGRAMMER_TAG_HERE");
    put(block.APP_VERSION, "v2.0.4");
    put(block.CONTACT_PHONE, "PHONE_HERE");
    put(block.APP_TITLE, "APP_TITLE_HERE");
    put(block.PACKAGE_DATE, "DATE_HERE");
    put(block.INFO_TEXT, "INFO_TEXT_HERE");
    put(block.DRIVE_NAME, "BRYMOTE DVDRW RVM-270A");
    put(block.constraintMarker, "FW_CONSTRAINTS=");
    for (int g = 0; g < kGroupCount; ++g) {
        for (int s = 0; s < kSlotsPerGroup; ++s) {
            ConstraintSlot& slot = block.constraints[g][s];
            const char from[8] = {
                '#', 'F', 'L', 'S', 'H', static_cast<char>('1' + g), static_cast<char>('1' + s),
                '\0'};
            std::memcpy(slot.FW_FROM, from, sizeof from);
            put(slot.FW_TO, "#");
            put(slot.VENDOR, "#");
            put(slot.PRODUCT, "#");
        }
    }
    put(block.N2OMESSAGE, "N2OMESSAGE=0");
    put(block.CHKDISC, "CHKDISC=0");
    put(block.BOOTCODE, "BOOTCODE=1");
    put(block.REBOOT, "REBOOT=1");
    put(block.AUTOMODE, "AUTOMODE=0");
    put(block.CLOSEAP, "CLOSEAP=0");
    put(block.WARNING, "WARNING=1");
    put(block.NBWARNING, "NBWARNING=0");
    put(block.HOW_MANY_BIN, "HOW_MANY_BIN=0");
    for (int b = 0; b < kBankCount; ++b) {
        const char digit = static_cast<char>('1' + b);
        char start[] = "BIN_START1=0000000000";
        char size[] = "BIN_SIZE1=0000000000";
        char newRevision[] = "NEW_FW1=N/A ";
        start[9] = size[8] = newRevision[6] = digit;
        if (b == 0)
            std::memcpy(size + 10, "0001048576", 10);
        put(block.BIN_START[b], start);
        put(block.BIN_SIZE[b], size);
        put(block.NEW_FW[b], newRevision);
    }
    std::memcpy(block.FW_IMAGE, "BANK_START_FROM_HERE", 20);
}

} // namespace zelfin
