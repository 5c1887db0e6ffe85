#include "package/EmbeddedPackage.h"

#include "package/PackageSeal.h"

namespace zelfin {

namespace {

#define ZELFIN_UNFILLED_GROUP(g)                                                                   \
    {                                                                                              \
        {"#FLSH" #g "1", "#", "#", "#"}, {"#FLSH" #g "2", "#", "#", "#"},                          \
            {"#FLSH" #g "3", "#", "#", "#"}, {"#FLSH" #g "4", "#", "#", "#"},                      \
            {"#FLSH" #g "5", "#", "#", "#"}, {"#FLSH" #g "6", "#", "#", "#"},                      \
            {"#FLSH" #g "7", "#", "#", "#"}, {"#FLSH" #g "8", "#", "#", "#"},                      \
    }

// The unfilled template in initialised data. Keep in step with PackageTemplate.cpp. Not const:
// a const object's contents can be copied into the debug information, and a second copy of the
// block in the file would leave the packaging step unable to tell which one the program reads.
[[gnu::used]] SealedPackage kEmbedded = {
    {
        "PROGRAMMER_TAG_HERE",
        "v2.0.4",
        "PHONE_HERE",
        "APP_TITLE_HERE",
        "DATE_HERE",
        "INFO_TEXT_HERE",
        "BRYMOTE DVDRW RVM-270A",
        "FW_CONSTRAINTS=",
        {ZELFIN_UNFILLED_GROUP(1), ZELFIN_UNFILLED_GROUP(2), ZELFIN_UNFILLED_GROUP(3),
         ZELFIN_UNFILLED_GROUP(4)},
        "N2OMESSAGE=0",
        "CHKDISC=0",
        "BOOTCODE=1",
        "REBOOT=1",
        "AUTOMODE=0",
        "CLOSEAP=0",
        "WARNING=1",
        "NBWARNING=0",
        "HOW_MANY_BIN=0",
        {"BIN_START1=0000000000", "BIN_START2=0000000000", "BIN_START3=0000000000",
         "BIN_START4=0000000000"},
        {"BIN_SIZE1=0001048576", "BIN_SIZE2=0000000000", "BIN_SIZE3=0000000000",
         "BIN_SIZE4=0000000000"},
        {"NEW_FW1=N/A ", "NEW_FW2=N/A ", "NEW_FW3=N/A ", "NEW_FW4=N/A "},
        "BANK_START_FROM_HERE",
    },
    {"PACKAGE_SHA256=", {}, {}}};

#undef ZELFIN_UNFILLED_GROUP

// Hide where the pointer leads, so no read of the block or its seal is folded into a built-in
// value.
const SealedPackage& embedded() {
#if defined(__GNUC__)
    const SealedPackage* carried = &kEmbedded;
    asm volatile("" : "+r"(carried));
    return *carried;
#else
    const SealedPackage* volatile carried = &kEmbedded;
    return *carried;
#endif
}

} // namespace

const PackageBlock& embeddedPackage() {
    return embedded().block;
}

const PackageSeal& embeddedSeal() {
    return embedded().seal;
}

} // namespace zelfin
