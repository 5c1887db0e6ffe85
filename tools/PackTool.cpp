#include "tools/PackTool.h"

#include "flash/LoaderArea.h"
#include "package/Eligibility.h"
#include "package/PackageBlock.h"
#include "package/PackageSeal.h"
#include "package/ProgramVersion.h"
#include "tools/BankIdentity.h"
#include "tools/ComposeBlock.h"
#include "tools/FileAccess.h"
#include "tools/LocateBlock.h"
#include "tools/PackageJson.h"
#include "tools/PackageReport.h"
#include "tools/PeSignature.h"
#include "tools/ReadBack.h"
#include "tools/TestPackage.h"
#include "tools/VersionResource.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <system_error>
#include <utility>

namespace zelfin::pack {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  zelfin-pack fill [--drop-signature] [--ignore-identity] EXE "
    "DESCRIPTION\n"
    "                                     write a package into EXE\n"
    "  zelfin-pack show [--json] EXE      print the package of EXE\n"
    "  zelfin-pack check EXE VENDOR PRODUCT REVISION\n"
    "                                     print the verdict on a drive;\n"
    "                                     exit 0 eligible, 1 not, 2 usage\n"
    "  zelfin-pack make-demo DIR          write DIR/firmware.bin and "
    "DIR/package.txt\n"
    "  zelfin-pack --version              print the version\n";

// Limits on what is read: a bank file is its bank or a whole image; a description is a page of
// text; an executable that carries the package is a few megabytes.
constexpr std::uintmax_t kMaxDescriptionBytes = 1u << 20;
constexpr std::uintmax_t kMaxExecutableBytes = 256u << 20;

bool writeFile(const fs::path& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    return static_cast<bool>(out);
}

struct LoadedBlock {
    std::vector<std::uint8_t> file;
    std::unique_ptr<PackageBlock> block;
    std::size_t offset = 0;
    std::size_t loaderOffset = 0;

    std::span<const std::uint8_t> loaders() const {
        return std::span(file).subspan(loaderOffset, kLoaderAreaSize);
    }
    PackageSeal seal() const {
        PackageSeal seal;
        std::memcpy(&seal, file.data() + sealOffset(offset), sizeof seal);
        return seal;
    }
    SealCheck sealCheck() const { return checkSeal(seal(), *block, loaders()); }
};

std::optional<LoadedBlock> loadBlock(const std::string& exe, std::ostream& err) {
    LoadedBlock loaded;
    std::string error;
    auto bytes = readFileAtMost(exe, kMaxExecutableBytes, error);
    if (!bytes) {
        err << "zelfin-pack: " << error << '\n';
        return std::nullopt;
    }
    loaded.file = std::move(*bytes);
    const Located where = locateBlock(loaded.file);
    if (!where.found) {
        err << "zelfin-pack: " << exe << ": " << where.error << '\n';
        return std::nullopt;
    }
    loaded.offset = where.offset;
    loaded.block = copyBlock(loaded.file, where.offset);
    if (!sealInPlace(loaded.file, where.offset)) {
        err << "zelfin-pack: " << exe
            << ": no place for the package digest right after the package block; the program is "
               "damaged or was built without one\n";
        return std::nullopt;
    }
    const LocatedLoaders loaders = locateLoaderArea(loaded.file);
    if (!loaders.found) {
        err << "zelfin-pack: " << exe << ": " << loaders.error << '\n';
        return std::nullopt;
    }
    loaded.loaderOffset = loaders.offset;
    return loaded;
}

// The number of "line N: ..."; problems of the whole description come after every line's.
long lineOf(const std::string& problem) {
    constexpr std::string_view kLine = "line ";
    if (!problem.starts_with(kLine))
        return std::numeric_limits<long>::max();
    return std::strtol(problem.c_str() + kLine.size(), nullptr, 10);
}

void report(Problems problems, std::ostream& err) {
    for (auto* list : {&problems.warnings, &problems.errors})
        std::stable_sort(
            list->begin(), list->end(),
            [](const std::string& a, const std::string& b) { return lineOf(a) < lineOf(b); });
    for (const std::string& w : problems.warnings)
        err << "zelfin-pack: warning: " << w << '\n';
    for (const std::string& e : problems.errors)
        err << "zelfin-pack: error: " << e << '\n';
}

void printSignature(std::ostream& out, std::span<const std::uint8_t> file) {
    const PeSignature sig = findSignature(file);
    out << "Authenticode signature: ";
    if (!sig.isPe)
        out << "none (not a Windows program)\n";
    else if (!sig.present)
        out << "none\n";
    else
        out << "present (" << sig.tableSize << " bytes at file offset " << sig.tableOffset << ")\n";
}

void printSeal(std::ostream& out, const LoadedBlock& loaded) {
    const PackageSeal seal = loaded.seal();
    out << "package digest (SHA-256 of the block):  " << hexDigest(seal.blockDigest) << '\n'
        << "loader area digest (SHA-256):           " << hexDigest(seal.loaderDigest) << '\n'
        << "loader area at file offset " << loaded.loaderOffset << '\n';
}

struct FillOptions {
    bool dropSignature = false;
    bool ignoreIdentity = false;
};

// Banks whose identity records would leave the drive wrong: errors, or with the override
// warnings, each naming the bank's line.
void judgeIdentity(const PackageDescription& d, const PackageBlock& block, bool ignore,
                   Problems& problems) {
    for (const BankIdentityFinding& f : checkBankIdentity(block)) {
        std::string at = "bank " + std::to_string(f.bank) + ": ";
        for (const BankSpec& b : d.banks)
            if (b.number == f.bank)
                at = "line " + std::to_string(b.line) + ": " + at;
        if (ignore)
            problems.warnings.push_back(at + f.problem + " (written anyway: --ignore-identity)");
        else
            problems.errors.push_back(at + f.problem +
                                      " (give --ignore-identity to write it anyway)");
    }
}

int fill(const std::string& exeArg, const std::string& descriptionPath, FillOptions options,
         std::ostream& out, std::ostream& err) {
    std::string error;
    // Through a link, the file it names is filled; the link stays a link.
    std::error_code ec;
    const fs::path resolved = fs::canonical(exeArg, ec);
    const std::string exe = ec ? exeArg : resolved.string();
    // Held until the new file is in place: a second fill of the same file waits, then fills the
    // file this one wrote, so the package of the run that reports last is the one in the file.
    const std::optional<FileLock> lock = FileLock::acquire(exe, error);
    if (!lock) {
        err << "zelfin-pack: " << error << '\n';
        return 1;
    }
    auto loaded = loadBlock(exe, err);
    if (!loaded)
        return 1;
    if (findSignature(loaded->file).present && !options.dropSignature) {
        err << "zelfin-pack: " << exe
            << " carries an Authenticode signature, which filling would break; fill the unsigned "
               "program and sign it afterwards, or give --drop-signature to remove the "
               "signature\nzelfin-pack: "
            << exe << " left untouched\n";
        return 1;
    }
    const auto text = readFileAtMost(descriptionPath, kMaxDescriptionBytes, error);
    if (!text) {
        err << "zelfin-pack: " << error << '\n';
        return 1;
    }
    Problems problems;
    PackageDescription d = parseDescription(
        std::string_view(reinterpret_cast<const char*>(text->data()), text->size()), problems);
    const fs::path base = fs::path(descriptionPath).parent_path();
    for (BankSpec& bank : d.banks) {
        const fs::path file =
            fs::path(bank.file).is_absolute() ? fs::path(bank.file) : base / bank.file;
        auto data = readFileAtMost(file, kImageSize, error);
        if (!data) {
            problems.errors.push_back("line " + std::to_string(bank.line) + ": " + error);
            bank.unread = true;
            continue;
        }
        bank.data = std::move(*data);
    }
    auto block = std::make_unique<PackageBlock>();
    // Composed whatever was found so far: every problem of the description is told at once.
    bool composed = composeBlock(d, *block, problems) && problems.ok();
    if (composed) {
        judgeIdentity(d, *block, options.ignoreIdentity, problems);
        composed = problems.ok();
    }
    report(problems, err);
    if (!composed) {
        err << "zelfin-pack: " << exe << " left untouched\n";
        return 1;
    }
    std::string version;
    if (!writeVersionStrings(loaded->file, Package(*block), version, error)) {
        err << "zelfin-pack: " << exe << ": " << error << "; " << exe << " left untouched\n";
        return 1;
    }
    const PackageSeal seal = makeSeal(*block, loaded->loaders());
    std::memcpy(loaded->file.data() + sealOffset(loaded->offset), &seal, sizeof seal);
    // Nothing the package occupies may be cut with the signature.
    const std::size_t packageEnd =
        std::max(sealOffset(loaded->offset) + sizeof(PackageSeal),
                 loaded->loaderOffset + kLoaderAreaSize + kLoaderAreaTail.size());
    const auto readBack = [&](const fs::path& written, std::string& why) {
        return readsBackSealed(written, loaded->file, why);
    };
    if (!writeBlock(loaded->file, *block, error) ||
        (options.dropSignature && !dropSignature(loaded->file, packageEnd, error)) ||
        !replaceFile(exe, loaded->file, readBack, error)) {
        err << "zelfin-pack: " << error << "; " << exe << " left untouched\n";
        return 1;
    }
    *loaded->block = *block;
    out << "filled " << exe << " (package block at file offset " << loaded->offset << ")\n";
    printPackage(out, Package(*block));
    printSeal(out, *loaded);
    printSignature(out, loaded->file);
    out << version << '\n';
    return 0;
}

int showJson(const std::string& exe, std::ostream& out, std::ostream& err) {
    auto loaded = loadBlock(exe, err);
    if (!loaded)
        return 1;
    const Package package(*loaded->block);
    SealState state{loaded->offset, loaded->loaderOffset};
    const PackageSeal seal = loaded->seal();
    if (package.decodeSettings().HOW_MANY_BIN != 0) {
        state.seal = &seal;
        state.check = loaded->sealCheck();
    }
    printPackageJson(out, package, state);
    if (state.seal != nullptr && state.check != SealCheck::Intact) {
        err << "zelfin-pack: " << exe << " is " << describe(state.check) << '\n';
        return 1;
    }
    return 0;
}

int show(const std::string& exe, std::ostream& out, std::ostream& err) {
    auto loaded = loadBlock(exe, err);
    if (!loaded)
        return 1;
    out << "package block at file offset " << loaded->offset << '\n';
    printPackage(out, Package(*loaded->block));
    printSignature(out, loaded->file);
    if (Package(*loaded->block).decodeSettings().HOW_MANY_BIN == 0) {
        out << "package digest: none yet (no firmware packed)\n";
        return 0;
    }
    printSeal(out, *loaded);
    printIdentityFindings(out, checkBankIdentity(*loaded->block));
    const SealCheck verdict = loaded->sealCheck();
    if (verdict != SealCheck::Intact) {
        out << "package: " << describe(verdict) << '\n';
        err << "zelfin-pack: " << exe << " is " << describe(verdict)
            << "; the program refuses to start. Get the program again, or fill it again.\n";
        return 1;
    }
    out << "package: intact (the program's bytes match their digests)\n";
    return 0;
}

// A drive reports its identity at these exact widths; any other text would be cut or matched
// in a way no real drive can produce.
bool identityWidthsRight(const std::vector<std::string>& args, std::ostream& err) {
    bool right = true;
    const std::pair<const char*, std::size_t> widths[] = {
        {"vendor", 8}, {"product", 16}, {"revision", 4}};
    for (std::size_t i = 0; i < std::size(widths); ++i) {
        const auto& [name, width] = widths[i];
        const std::string& text = args[2 + i];
        if (text.size() == width)
            continue;
        err << "zelfin-pack: check: " << name << " \"" << text << "\" is " << text.size()
            << " characters; a drive reports exactly " << width << ", trailing blanks included"
            << (text.size() < width ? " (pad it with blanks inside quotes)\n" : "\n");
        right = false;
    }
    return right;
}

int check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!identityWidthsRight(args, err))
        return 2;
    // A file that is no packed program is a wrong argument, not a verdict on the drive.
    auto loaded = loadBlock(args[1], err);
    if (!loaded)
        return 2;
    const Package package(*loaded->block);
    const Settings settings = package.decodeSettings();
    // The program stops before it judges any drive, or judges none eligible.
    if (settings.HOW_MANY_BIN == 0) {
        err << "zelfin-pack: " << args[1]
            << " holds no firmware (HOW_MANY_BIN=0); the program stops at start-up with "
               "\"No F/W in executable !\"\n";
        return 1;
    }
    if (package.imageUnfilled()) {
        err << "zelfin-pack: " << args[1]
            << ": the firmware image is unfilled; the program finds no drive eligible and stops "
               "with \"No matched drive detected !\"\n";
        return 1;
    }
    if (const SealCheck verdict = loaded->sealCheck(); verdict != SealCheck::Intact) {
        err << "zelfin-pack: " << args[1] << " is " << describe(verdict)
            << "; the program refuses to start before it judges any drive\n";
        return 1;
    }
    printIdentityFindings(out, checkBankIdentity(*loaded->block));
    const DriveIdentity drive{args[2], args[3], args[4]};
    const Verdict verdict = judgeDrive(package, settings, 1, drive);
    printVerdict(out, package, verdict);
    return verdict.eligible == 1 ? 0 : 1;
}

int makeDemo(const std::string& dir, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    const fs::path image = fs::path(dir) / "firmware.bin";
    const fs::path description = fs::path(dir) / "package.txt";
    const auto bytes =
        testpackage::makeImage(testpackage::kBootRevision, testpackage::kNewRevision);
    const std::string text = testpackage::shippedDescriptionText("firmware.bin");
    if (!writeFile(image, bytes.data(), bytes.size()) ||
        !writeFile(description, text.data(), text.size())) {
        err << "zelfin-pack: cannot write into " << dir << '\n';
        return 1;
    }
    out << "wrote " << image.string() << " and " << description.string() << '\n';
    return 0;
}

} // namespace

int runPackTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string command = args.empty() ? "" : args[0];
    if (command == "fill") {
        FillOptions options;
        std::size_t i = 1;
        for (; i < args.size() && args[i].starts_with("--"); ++i) {
            if (args[i] == "--drop-signature")
                options.dropSignature = true;
            else if (args[i] == "--ignore-identity")
                options.ignoreIdentity = true;
            else
                break;
        }
        if (args.size() - i == 2 && !args[i].starts_with("--"))
            return fill(args[i], args[i + 1], options, out, err);
    }
    if (command == "--version" && args.size() == 1) {
        out << versionText("zelfin-pack");
        return 0;
    }
    if (command == "show" && args.size() == 2 && !args[1].starts_with("--"))
        return show(args[1], out, err);
    if (command == "show" && args.size() == 3 && args[1] == "--json")
        return showJson(args[2], out, err);
    if (command == "check" && args.size() == 5)
        return check(args, out, err);
    if (command == "make-demo" && args.size() == 2)
        return makeDemo(args[1], out, err);
    err << kUsage;
    return 2;
}

} // namespace zelfin::pack
