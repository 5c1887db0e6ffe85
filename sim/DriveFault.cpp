#include "sim/DriveFault.h"

#include "sim/SimFlash.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace zelfin::sim {
namespace {

using Kind = DriveFault::Kind;

// How each kind is written, and what follows its name.
enum class Shape : uint8_t {
    Bare,         // nothing
    Seconds,      // SECONDS
    AscAscq,      // ASC/ASCQ
    Piece,        // PIECE
    PiecePass,    // PIECE [PASS]
    OptPiecePass, // [PIECE [PASS]]
    OptSector,    // [SECTOR]
    Command,      // OP N
    CommandSense, // OP N KEY/ASC/ASCQ
    CommandSlow,  // OP N SECONDS
};

struct Word {
    Kind kind;
    const char* name;
    Shape shape;
};

constexpr std::array<Word, 21> kWords{{
    {Kind::GoneAfterCommit, "gone-after-commit", Shape::Bare},
    {Kind::NotReadyAfterCommit, "not-ready-after-commit", Shape::Seconds},
    {Kind::SilentAfterCommit, "silent-after-commit", Shape::Seconds},
    {Kind::BackgroundCommit, "background-commit", Shape::Seconds},
    {Kind::Attention, "attention", Shape::AscAscq},
    {Kind::DescriptorSense, "descriptor-sense", Shape::Bare},
    {Kind::DropWrite, "drop-write", Shape::Piece},
    {Kind::ShortRead, "short-read", Shape::Piece},
    {Kind::Residual, "residual", Shape::Piece},
    {Kind::ReadBack, "readback", Shape::OptPiecePass},
    {Kind::WriteFails, "write-fails", Shape::PiecePass},
    {Kind::ReadFails, "read-fails", Shape::PiecePass},
    {Kind::Commit, "commit", Shape::Bare},
    {Kind::PowerLoss, "power-loss", Shape::OptSector},
    {Kind::Sense, "sense", Shape::CommandSense},
    {Kind::NoSense, "no-sense", Shape::Command},
    {Kind::Transport, "transport", Shape::Command},
    {Kind::Hang, "hang", Shape::Command},
    {Kind::Vanish, "vanish", Shape::Command},
    {Kind::Slow, "slow", Shape::CommandSlow},
    {Kind::ZeroData, "zero-data", Shape::Command},
}};

const Word& WordOf(Kind kind) {
    for (const Word& w : kWords) {
        if (w.kind == kind) {
            return w;
        }
    }
    throw std::logic_error("DriveFault: a kind without a word");
}

// The restart attentions a drive of this model gives.
constexpr std::array<Sense, 4> kAttentions{{
    {0x06, 0x29, 0x00}, // power on, reset or bus device reset
    {0x06, 0x29, 0x01}, // power on occurred
    {0x06, 0x28, 0x00}, // not ready to ready change
    {0x06, 0x3F, 0x01}, // microcode has been changed
}};

constexpr uint8_t kPieceCount = 255; // highest piece and sector of the 1 MiB buffer
constexpr uint32_t kPosition = 17;   // the byte a readback fault inverts
constexpr uint32_t kDefaultReadBackPiece = 100;
constexpr uint32_t kDefaultPowerLossSector = 3;
constexpr double kMaxSeconds = 3600.0;

class Reader {
public:
    explicit Reader(std::span<const std::string> words) : words_(words) {}

    [[noreturn]] void Fail(const std::string& what) const {
        std::string line;
        for (const std::string& w : words_) {
            line += (line.empty() ? "" : " ") + w;
        }
        throw std::invalid_argument("'" + line + "': " + what);
    }

    std::size_t Size() const { return words_.size(); }
    const std::string& At(std::size_t i) const { return words_[i]; }

    uint32_t Decimal(std::size_t i, uint32_t low, uint32_t high, const char* what) const {
        const std::string& text = words_[i];
        uint32_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
            value < low || value > high) {
            Fail("bad " + std::string(what) + " '" + text + "' (" + std::to_string(low) + " to " +
                 std::to_string(high) + ")");
        }
        return value;
    }

    uint8_t Hex(const std::string& text, const char* what) const {
        uint8_t value = 0;
        const auto [end, error] =
            std::from_chars(text.data(), text.data() + text.size(), value, 16);
        if (text.size() != 2 || error != std::errc{} || end != text.data() + text.size()) {
            Fail("bad " + std::string(what) + " '" + text + "' (two hex digits)");
        }
        return value;
    }

    // Hex bytes separated by slashes, as sense is written: "04/44/00".
    std::vector<uint8_t> HexBytes(std::size_t i, std::size_t count, const char* what) const {
        const std::string& text = words_[i];
        std::vector<uint8_t> bytes;
        if (text.size() != count * 3 - 1) {
            Fail("bad " + std::string(what) + " '" + text + "'");
        }
        for (std::size_t b = 0; b < count; ++b) {
            if (b > 0 && text[b * 3 - 1] != '/') {
                Fail("bad " + std::string(what) + " '" + text + "'");
            }
            bytes.push_back(Hex(text.substr(b * 3, 2), what));
        }
        return bytes;
    }

    // A plain decimal from 0 to an hour: NaN, infinity or a negative time would break the clock.
    double Seconds(std::size_t i) const {
        const std::string& text = words_[i];
        // strtod, as for the formatting below.
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        const bool plain =
            !text.empty() && text.find_first_not_of("0123456789.") == std::string::npos;
        if (!plain || end != text.c_str() + text.size() ||
            !(value >= 0.0 && value <= kMaxSeconds)) {
            Fail("bad seconds '" + text + "' (a decimal from 0 to 3600)");
        }
        return value;
    }

private:
    std::span<const std::string> words_;
};

std::string Hex2(uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof(text), "%02X", value);
    return text;
}

// Fixed notation, trailing zeros dropped, as Parse reads it back. Not to_chars: its floating-point
// form brings in a Windows C runtime import that Windows 98 and NT 4.0 lack.
std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.9f", seconds);
    std::string out(text);
    out.erase(out.find_last_not_of('0') + 1);
    if (!out.empty() && out.back() == '.') {
        out.pop_back();
    }
    return out;
}

const char* Usage(Shape shape) {
    switch (shape) {
    case Shape::Bare:
        return "nothing";
    case Shape::Seconds:
        return "SECONDS";
    case Shape::AscAscq:
        return "ASC/ASCQ";
    case Shape::Piece:
        return "PIECE";
    case Shape::PiecePass:
        return "PIECE [PASS]";
    case Shape::OptPiecePass:
        return "[PIECE [PASS]]";
    case Shape::OptSector:
        return "[SECTOR]";
    case Shape::Command:
        return "OP N";
    case Shape::CommandSense:
        return "OP N KEY/ASC/ASCQ";
    case Shape::CommandSlow:
        return "OP N SECONDS";
    }
    return "";
}

// Arguments after the kind's name: at least `least`, at most `most`.
std::pair<std::size_t, std::size_t> Arity(Shape shape) {
    switch (shape) {
    case Shape::Bare:
        return {0, 0};
    case Shape::Seconds:
    case Shape::AscAscq:
    case Shape::Piece:
        return {1, 1};
    case Shape::PiecePass:
        return {1, 2};
    case Shape::OptPiecePass:
        return {0, 2};
    case Shape::OptSector:
        return {0, 1};
    case Shape::Command:
        return {2, 2};
    case Shape::CommandSense:
    case Shape::CommandSlow:
        return {3, 3};
    }
    return {0, 0};
}

Fault::Kind CommandKind(Kind kind) {
    switch (kind) {
    case Kind::Sense:
        return Fault::Kind::Sense;
    case Kind::NoSense:
        return Fault::Kind::StatusOnly;
    case Kind::Transport:
        return Fault::Kind::Transport;
    case Kind::Hang:
        return Fault::Kind::Hang;
    case Kind::Vanish:
        return Fault::Kind::Vanish;
    case Kind::Slow:
        return Fault::Kind::Slow;
    default:
        return Fault::Kind::ZeroData;
    }
}

} // namespace

DriveFault DriveFault::Parse(std::span<const std::string> words) {
    const Reader r(words);
    if (words.size() < 3 || words[0] != "fault") {
        r.Fail("a fault line reads 'fault LETTER KIND ...'");
    }
    const std::string& letter = words[1];
    if (letter.size() != 1 ||
        !((letter[0] >= 'A' && letter[0] <= 'Z') || (letter[0] >= 'a' && letter[0] <= 'z'))) {
        r.Fail("bad drive letter '" + letter + "'");
    }
    const Word* word = nullptr;
    for (const Word& w : kWords) {
        if (words[2] == w.name) {
            word = &w;
        }
    }
    if (word == nullptr) {
        r.Fail("unknown fault '" + words[2] + "'");
    }
    const auto [least, most] = Arity(word->shape);
    const std::size_t args = words.size() - 3;
    if (args < least || args > most) {
        r.Fail(std::string(word->name) + " takes " + Usage(word->shape));
    }

    DriveFault f;
    f.letter = letter[0];
    f.kind = word->kind;
    switch (word->shape) {
    case Shape::Bare:
        break;
    case Shape::Seconds:
        f.seconds = r.Seconds(3);
        break;
    case Shape::AscAscq: {
        const std::vector<uint8_t> b = r.HexBytes(3, 2, "ASC/ASCQ");
        f.sense = Sense{0x06, b[0], b[1]};
        bool known = false;
        for (const Sense& s : kAttentions) {
            known = known || s == f.sense;
        }
        if (!known) {
            r.Fail("the attention is 29/00, 29/01, 28/00 or 3F/01");
        }
        break;
    }
    case Shape::Piece:
    case Shape::PiecePass:
    case Shape::OptPiecePass:
        if (args >= 1) {
            f.piece = r.Decimal(3, 0, kPieceCount, "piece");
        }
        if (args >= 2) {
            f.pass = r.Decimal(4, 1, UINT16_MAX, "pass");
        }
        break;
    case Shape::OptSector:
        if (args == 1) {
            f.sector = r.Decimal(3, 0, kPieceCount, "sector");
        }
        break;
    case Shape::Command:
    case Shape::CommandSense:
    case Shape::CommandSlow:
        f.opcode = r.Hex(words[3], "opcode");
        f.occurrence = words[4] == "every" ? 0 : r.Decimal(4, 1, UINT32_MAX, "count");
        if (word->shape == Shape::CommandSense) {
            const std::vector<uint8_t> b = r.HexBytes(5, 3, "KEY/ASC/ASCQ");
            f.sense = Sense{b[0], b[1], b[2]};
        } else if (word->shape == Shape::CommandSlow) {
            f.seconds = r.Seconds(5);
        }
        break;
    }
    return f;
}

DriveFault DriveFault::Parse(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size() && line[i] != '#') {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
               line[i] != '#') {
            ++i;
        }
        words.emplace_back(line.substr(start, i - start));
    }
    return Parse(std::span<const std::string>(words));
}

std::string DriveFault::Format() const {
    const Word& word = WordOf(kind);
    std::string line = std::string("fault ") + letter + ' ' + word.name;
    switch (word.shape) {
    case Shape::Bare:
        break;
    case Shape::Seconds:
        line += ' ' + SecondsText(seconds);
        break;
    case Shape::AscAscq:
        line += ' ' + Hex2(sense.asc) + '/' + Hex2(sense.ascq);
        break;
    case Shape::Piece:
    case Shape::PiecePass:
    case Shape::OptPiecePass:
        if (piece) {
            line += ' ' + std::to_string(*piece);
            if (pass) {
                line += ' ' + std::to_string(*pass);
            }
        }
        break;
    case Shape::OptSector:
        if (sector) {
            line += ' ' + std::to_string(*sector);
        }
        break;
    case Shape::Command:
    case Shape::CommandSense:
    case Shape::CommandSlow:
        line += ' ' + Hex2(opcode) + ' ' +
                (occurrence == 0 ? std::string("every") : std::to_string(occurrence));
        if (word.shape == Shape::CommandSense) {
            line += ' ' + Hex2(sense.key) + '/' + Hex2(sense.asc) + '/' + Hex2(sense.ascq);
        } else if (word.shape == Shape::CommandSlow) {
            line += ' ' + SecondsText(seconds);
        }
        break;
    }
    return line;
}

bool DriveFault::NeedsFlash() const {
    switch (kind) {
    case Kind::DropWrite:
    case Kind::ShortRead:
    case Kind::Residual:
    case Kind::ReadBack:
    case Kind::WriteFails:
    case Kind::ReadFails:
    case Kind::Commit:
    case Kind::PowerLoss:
        return true;
    default:
        return false;
    }
}

void DriveFault::Apply(SimDrive& drive) const {
    SimFlash* flash = NeedsFlash() ? SimFlash::Of(drive) : nullptr;
    if (NeedsFlash() && flash == nullptr) {
        throw std::invalid_argument("'" + Format() + "': drive " + std::string(1, letter) +
                                    " has no flash memory (no firmware was described for it)");
    }
    RestartBehaviour restart = drive.GetRestartBehaviour();
    switch (kind) {
    case Kind::GoneAfterCommit:
        restart.after = RestartBehaviour::After::Gone;
        break;
    case Kind::NotReadyAfterCommit:
        restart.after = RestartBehaviour::After::NotReady;
        restart.seconds = seconds;
        break;
    case Kind::SilentAfterCommit:
        restart.after = RestartBehaviour::After::Silent;
        restart.seconds = seconds;
        break;
    case Kind::BackgroundCommit:
        restart.background = seconds;
        break;
    case Kind::Attention:
        restart.attention = sense;
        break;
    case Kind::DescriptorSense:
        drive.SetDescriptorSense(true);
        return;
    case Kind::DropWrite:
        flash->Faults().writeBufferDropped.push_back({piece.value_or(0), 0});
        return;
    case Kind::ShortRead:
        flash->Faults().readBufferShort.push_back({piece.value_or(0), 0});
        return;
    case Kind::Residual:
        flash->Faults().readBufferResidual.push_back({piece.value_or(0), 0});
        return;
    case Kind::ReadBack:
        flash->Faults().readBackDiffers.push_back(
            {piece.value_or(kDefaultReadBackPiece), pass.value_or(0), kPosition});
        return;
    case Kind::WriteFails:
        flash->Faults().writeBufferFails.push_back({piece.value_or(0), pass.value_or(0)});
        return;
    case Kind::ReadFails:
        flash->Faults().readBufferFails.push_back({piece.value_or(0), pass.value_or(0)});
        return;
    case Kind::Commit:
        flash->Faults().commitFails = true;
        return;
    case Kind::PowerLoss:
        flash->Faults().powerLossAtSector = sector.value_or(kDefaultPowerLossSector);
        return;
    case Kind::Sense:
    case Kind::NoSense:
    case Kind::Transport:
    case Kind::Hang:
    case Kind::Vanish:
    case Kind::Slow:
    case Kind::ZeroData: {
        // Counted from the drive's start: the drive arms it that many commands from now.
        const uint32_t received = drive.CommandCount(opcode);
        if (occurrence != 0 && occurrence <= received) {
            throw std::invalid_argument("'" + Format() + "': the drive has already received " +
                                        std::to_string(received) + " such commands");
        }
        const uint32_t ahead = occurrence == 0 ? 0 : occurrence - received;
        drive.InjectFault(Fault{opcode, ahead, CommandKind(kind), sense, seconds});
        return;
    }
    }
    drive.SetRestartBehaviour(restart);
}

} // namespace zelfin::sim
