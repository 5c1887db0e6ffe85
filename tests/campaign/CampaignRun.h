#pragma once
// One complete run of the program on a simulated machine with at most one injected fault: the
// drive to update (D:), a drive of another model (E:) and one of the supported model whose
// revision no slot accepts (F:). Every command any drive receives is logged in one sequence.

#include "sim/SimDrive.h"
#include "sim/SimFlash.h"
#include "sim/Transcript.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelfin::campaign {

enum class Job : uint8_t { WriteBuffer, Download };

inline constexpr char kTarget = 'D';
inline constexpr char kOtherModel = 'E';
inline constexpr char kUnmatched = 'F';

struct Command {
    char drive = 0;
    sim::TranscriptRecord record;
};

// What goes wrong, and at which command of the whole run (an index into a fault-free run's log,
// which every faulty run repeats up to that command).
struct Injection {
    enum class Kind : uint8_t {
        None,
        Sense,     // CHECK CONDITION with `sense`
        NoSense,   // CHECK CONDITION without sense data
        Transport, // the request fails below the drive
        Timeout,   // the drive never answers
        Vanish,    // the drive is gone from then on
        ReadBack,  // a READ BUFFER piece reads back one byte wrong
        PowerLoss, // power goes while the commit programs `sector`
    };
    Kind kind = Kind::None;
    std::size_t at = 0;
    sim::Sense sense{};
    uint32_t sector = 0;
};

enum class Ending : uint8_t { Success, Failure, StartUpMessage, IdleNoUpdate, Stalled };

struct RunResult {
    Ending ending = Ending::Stalled;
    std::string lastDialog;
    std::size_t dialogs = 0;
    std::vector<Command> log;
    std::optional<std::size_t> clickedAt; // log size when Update was clicked
    double virtualSeconds = 0.0;
    bool flashHoldsNewImage = false; // the target's whole flash is the package's image
    std::string targetRevision;
    bool targetDead = false; // the boot code itself is damaged: nothing answers any more
};

// Runs the program once; `clean` is the log of the fault-free run the injection points into.
// With `second`, the program is started again on the same machine afterwards (a user trying
// once more), and that run's result goes there.
RunResult runOnce(Job job, const Injection& injection, const std::vector<Command>& clean,
                  RunResult* second = nullptr);

const char* kindName(Injection::Kind kind);
const char* endingName(Ending ending);

} // namespace zelfin::campaign
