#pragma once
// The program's own words, exactly as the user sees them.

#include <string_view>

namespace zelfin::app::text {

inline constexpr std::string_view kNoFirmware = "No F/W in executable !";
inline constexpr std::string_view kPackageDamaged =
    "This program is damaged: its firmware package does not match the digest it was packed "
    "with.\n\nNo drive has been touched. Please get the program again from your vendor !";
inline constexpr std::string_view kDeviceInitFailed = "Device object initialize failed !";
inline constexpr std::string_view kAccessDenied =
    "Access denied ! You must have administrator privilege to flash drives.";
inline constexpr std::string_view kSystemBoxCaption = "Error ...";

inline constexpr std::string_view kNoMatchedDrive = "No matched drive detected !\n";
inline constexpr std::string_view kOnlyFor = "This utility is only for ";
inline constexpr std::string_view kDriveEnd = " drive.\n\n";
inline constexpr std::string_view kDetectedDrives = "Detected drives :\n";

inline constexpr std::string_view kNoticeOnlySupports = "This flash utility only supports ";
inline constexpr std::string_view kNoticeHeading = "NOTICE : \n\n";
inline constexpr std::string_view kNoticePoint1 =
    "1> Please REMOVE disc and close all applications before running this utility !\n";
inline constexpr std::string_view kNoticePoint2 =
    "2> Don't turn off the system while flash is in progress. \n";
inline constexpr std::string_view kNoticePoint3 =
    "3> Don't remove the adapter and battery during F/W reflash processing. \n";
inline constexpr std::string_view kNoticeQuestion = "\nDo you wish to continue ?";

inline constexpr std::string_view kNotAllowed = "This drive is not allowed to be updated.";
inline constexpr std::string_view kWillBeUpdated = "It will be updated from";

inline constexpr std::string_view kAlreadyUpToDate =
    "Your drive's Firmware is already the most updated !\n Do you wish to continue ?";

inline constexpr std::string_view kCheckDiscTray = "Check Disc & Tray Status...";
inline constexpr std::string_view kTrayOut = "Tray Out ...";
inline constexpr std::string_view kRemoveDisc = "Please remove the disc.";
inline constexpr std::string_view kDiscLocked =
    "Disc detected in drive. Unable to eject the disc , maybe locked by other program\n\n"
    "Please remove the disc manually.";
inline constexpr std::string_view kTrayIn = "Tray In ...";
inline constexpr std::string_view kWaitingReady = "Waiting Drive Ready ...";
inline constexpr std::string_view kPushTrayIn = "Please push the tray in.";

inline constexpr std::string_view kInquiry = "Inquiry ...";
inline constexpr std::string_view kFlashFailed =
    "Unable to flash firmware. Please contact with your vendor !";
inline constexpr std::string_view kDone = "Done.";
inline constexpr std::string_view kUpdated = "Firmware has been updated successfully !";
inline constexpr std::string_view kProgramming = "Programming ";
inline constexpr std::string_view kProgrammingFull = "Programming ..........";
// A job's drive that another program, another copy of this one or the file system has.
inline constexpr std::string_view kDriveBusyStart = "The drive ";
inline constexpr std::string_view kDriveBusyEnd =
    " is in use by another program or by the system, so it cannot be updated now.\n\n"
    "Take the disc out of the drive (or unmount it) and close every other program that uses "
    "the drive, then start the update again.";
inline constexpr std::string_view kDriveNotHeld = " could not be reserved for the update.";
// The message line once a request to end the program has been held.
inline constexpr std::string_view kStopHeld =
    "Writing the drive: the program will stop once that is safe.";
inline constexpr std::string_view kZeroPercent = "0 %";
inline constexpr std::string_view kFullPercent = "100 %";

} // namespace zelfin::app::text
