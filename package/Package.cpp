#include "package/Package.h"

#include "package/Collation.h"
#include "package/FieldText.h"

#include <cstring>

namespace zelfin {

namespace {
constexpr std::string_view kTitlePlaceholder = "APP_TITLE_HERE";
constexpr std::string_view kImagePlaceholder = "BANK_START_FROM_HERE";
constexpr std::size_t kImagePlaceholderTested = 19;

bool isBankNumber(int bank) {
    return bank >= 1 && bank <= kBankCount;
}
} // namespace

std::uint8_t decodeSettingText(std::string_view text) {
    text = leading(text, text.size());
    if (text.empty())
        return 0;
    const std::int64_t value = readNumber(text.substr(text.size() - 1));
    return static_cast<std::uint8_t>(value);
}

Settings Package::decodeSettings() const {
    Settings s;
    s.N2OMESSAGE = decodeSettingText(fieldText(block_.N2OMESSAGE));
    s.CHKDISC = decodeSettingText(fieldText(block_.CHKDISC));
    s.BOOTCODE = decodeSettingText(fieldText(block_.BOOTCODE));
    s.REBOOT = decodeSettingText(fieldText(block_.REBOOT));
    s.AUTOMODE = decodeSettingText(fieldText(block_.AUTOMODE));
    s.CLOSEAP = decodeSettingText(fieldText(block_.CLOSEAP));
    s.WARNING = decodeSettingText(fieldText(block_.WARNING));
    s.NBWARNING = decodeSettingText(fieldText(block_.NBWARNING));
    s.HOW_MANY_BIN = decodeSettingText(fieldText(block_.HOW_MANY_BIN));
    return s;
}

std::string Package::windowTitle() const {
    const std::string_view title = fieldText(block_.APP_TITLE);
    if (collate(title.substr(0, kTitlePlaceholder.size()), kTitlePlaceholder) == 0)
        return "Zelfin " + std::string(fieldText(block_.APP_VERSION));
    return std::string(title);
}

bool Package::imageUnfilled() const {
    return std::memcmp(block_.FW_IMAGE, kImagePlaceholder.data(), kImagePlaceholderTested) == 0;
}

std::optional<SlotTexts> Package::readSlot(int group, int slot) const {
    if (group < 1 || group > kGroupCount || slot < 1 || slot > kSlotsPerGroup)
        return std::nullopt;
    const ConstraintSlot& s = block_.constraints[group - 1][slot - 1];
    return SlotTexts{fieldText(s.FW_FROM), fieldText(s.FW_TO), fieldText(s.VENDOR),
                     fieldText(s.PRODUCT)};
}

std::string_view Package::newRevision(int bank) const {
    if (!isBankNumber(bank))
        return {};
    return fieldTextFrom(block_.NEW_FW[bank - 1], kNewRevisionAt);
}

std::int64_t Package::bankStart(int bank) const {
    if (!isBankNumber(bank))
        return 0;
    return readNumber(fieldTextFrom(block_.BIN_START[bank - 1], kStartDigitsAt));
}

std::int64_t Package::bankSize(int bank) const {
    if (!isBankNumber(bank))
        return 0;
    return readNumber(fieldTextFrom(block_.BIN_SIZE[bank - 1], kSizeDigitsAt));
}

BankFit bankFit(std::int64_t start, std::int64_t length) {
    if (length == 0)
        return BankFit::Empty;
    if (start < 0 || length < 0)
        return BankFit::BeyondImage;
    if (length < static_cast<std::int64_t>(kPieceSize))
        return BankFit::TooShort;
    if (start + length > static_cast<std::int64_t>(kImageSize))
        return BankFit::BeyondImage;
    return BankFit::Fits;
}

std::string_view describe(BankFit fit) {
    switch (fit) {
    case BankFit::Fits:
        return "fits the image";
    case BankFit::NoSuchBank:
        return "there is no such bank (banks are 1 to 4)";
    case BankFit::Empty:
        return "the bank is empty (size 0)";
    case BankFit::TooShort:
        return "the bank is shorter than one 4096-byte piece";
    case BankFit::BeyondImage:
        return "the bank reaches past the end of the 1048576-byte image";
    }
    return "unknown";
}

BankFit Package::checkBank(int bank) const {
    if (!isBankNumber(bank))
        return BankFit::NoSuchBank;
    return bankFit(bankStart(bank), bankSize(bank));
}

std::optional<Bank> Package::cutBank(int bank) const {
    if (checkBank(bank) != BankFit::Fits)
        return std::nullopt;
    const auto start = static_cast<std::uint32_t>(bankStart(bank));
    const auto length = static_cast<std::uint32_t>(bankSize(bank));
    return Bank{block_.FW_IMAGE + start, start, length};
}

std::string_view Package::driveName() const {
    return fieldText(block_.DRIVE_NAME);
}

} // namespace zelfin
