// The names a failure reason gives sense data: the key from its four bits only, a pair the table
// does not know left unnamed rather than misnamed.
#include "device/CommandText.h"

#include <gtest/gtest.h>

namespace zelfin {
namespace {

TEST(CommandText, SenseNamesTheKeyAndTheStandardPair) {
    struct Case {
        uint8_t key, asc, ascq;
        const char* text;
    };
    const Case cases[] = {
        {0x03, 0x0C, 0x00, "3/0C/00 MEDIUM ERROR, WRITE ERROR"},
        {0x26, 0x29, 0x00, "6/29/00 UNIT ATTENTION, POWER ON, RESET, OR BUS DEVICE RESET OCCURRED"},
        {0x02, 0x04, 0x07, "2/04/07 NOT READY, LOGICAL UNIT NOT READY, OPERATION IN PROGRESS"},
        {0x04, 0x44, 0x00, "4/44/00 HARDWARE ERROR, INTERNAL TARGET FAILURE"},
        {0x05, 0x80, 0x12, "5/80/12 ILLEGAL REQUEST"},
        {0x0F, 0x04, 0x09, "F/04/09 COMPLETED"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(describeSense(c.key, c.asc, c.ascq), c.text);
    }
}

TEST(CommandText, OutcomesSayWhatTheDriveOrTheSystemDid) {
    struct Case {
        CommandResult result;
        const char* text;
    };
    CommandResult check{CommandOutcome::CheckCondition};
    check.senseKey = 0x04;
    check.senseAsc = 0x44;
    CommandResult busy{CommandOutcome::OtherStatus};
    busy.status = 0x08;
    CommandResult denied{CommandOutcome::OsRefused};
    denied.osError = 5;
    CommandResult late{CommandOutcome::TimedOut};
    late.elapsedSeconds = 10.04;
    const Case cases[] = {
        {check, "check condition, sense 4/44/00 HARDWARE ERROR, INTERNAL TARGET FAILURE"},
        {CommandResult{CommandOutcome::CheckCondition}, "check condition without sense data"},
        {busy, "status 08h BUSY"},
        {denied, "refused by the system (error 5)"},
        {late, "timed out after 10.0 s"},
        {CommandResult{CommandOutcome::NoAnswer}, "no answer, the request failed below the drive"},
        {CommandResult{CommandOutcome::NotSent, Refusal::NoDrive}, "not sent: no drive is open"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(describeOutcome(c.result), c.text);
    }
}

} // namespace
} // namespace zelfin
