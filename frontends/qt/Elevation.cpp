#include "frontends/qt/Elevation.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <spawn.h>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zelfin::qt {

namespace {

constexpr std::string_view kDisplayNames[] = {"DISPLAY", "XAUTHORITY"};

bool isDisplayVariable(std::string_view entry) {
    for (std::string_view name : kDisplayNames) {
        if (entry.size() > name.size() && entry.substr(0, name.size()) == name &&
            entry[name.size()] == '=') {
            return true;
        }
    }
    return false;
}

std::string ownPath() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) {
        return {};
    }
    return std::string(path, static_cast<std::size_t>(length));
}

} // namespace

std::vector<std::string> displayVariables(const char* const* environment) {
    std::vector<std::string> kept;
    for (const char* const* entry = environment; entry != nullptr && *entry != nullptr; ++entry) {
        if (isDisplayVariable(*entry)) {
            kept.emplace_back(*entry);
        }
    }
    return kept;
}

int runThroughPkexec(const std::vector<std::string>& variables) {
    const std::string self = ownPath();
    if (self.empty()) {
        return kPkexecRefused;
    }
    std::vector<char*> argv{const_cast<char*>("pkexec"), const_cast<char*>(self.c_str())};
    std::vector<char*> envp;
    for (const std::string& variable : variables) {
        argv.push_back(const_cast<char*>(variable.c_str()));
        envp.push_back(const_cast<char*>(variable.c_str()));
    }
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    pid_t child = 0;
    // posix_spawnp looks pkexec up on this process's PATH; the copy gets envp alone.
    if (const int error =
            ::posix_spawnp(&child, "pkexec", nullptr, nullptr, argv.data(), envp.data());
        error != 0) {
        return error == ENOENT ? kNoPkexec : kPkexecRefused;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return kPkexecRefused;
        }
    }
    if (!WIFEXITED(status)) {
        return kPkexecRefused;
    }
    const int code = WEXITSTATUS(status);
    return code == kPkexecNotAuthorized || code == kPkexecFailed ? kPkexecRefused : code;
}

bool startedByPkexec() {
    return std::getenv("PKEXEC_UID") != nullptr;
}

void keepToInstalledPlugins(int argc, char** argv) {
    std::vector<std::string> names;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (text.substr(0, 3) == "QT_") {
            names.emplace_back(text.substr(0, text.find('=')));
        }
    }
    for (const std::string& name : names) {
        ::unsetenv(name.c_str());
    }
    if (!startedByPkexec()) {
        return;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        const std::size_t equals = argument.find('=');
        if (isDisplayVariable(argument)) {
            const std::string name(argument.substr(0, equals));
            ::setenv(name.c_str(), argv[i] + equals + 1, 0);
        }
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
}

} // namespace zelfin::qt
