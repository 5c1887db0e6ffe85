// window-probe.exe: reads the windows of another program under wine, so a test can wait for a
// dialog and check its texts without looking at pixels. One command per run:
//   window-probe wait TITLE SECONDS   exit 0 once a visible top-level window has that caption
//   window-probe gone TITLE SECONDS   exit 0 once no visible window has that caption
//   window-probe text TITLE           the texts of the window's static children (a message box's
//                                     message), one per line
//   window-probe items TITLE          the items of the window's drop-down lists, one per line
//   window-probe rect TITLE           the window's outer rectangle: left top width height
//   window-probe endsession TITLE     the window's answer to WM_QUERYENDSESSION (0: refused)
//   window-probe suspend TITLE        its answer to PBT_APMQUERYSUSPEND (deny: 1112363332)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

HWND findVisible(const char* title) {
    HWND found = nullptr;
    for (HWND w = FindWindowExA(nullptr, nullptr, nullptr, title); w != nullptr;
         w = FindWindowExA(nullptr, w, nullptr, title)) {
        if (IsWindowVisible(w)) {
            found = w;
        }
    }
    return found;
}

bool waitFor(const char* title, double seconds, bool present) {
    const DWORD limit = GetTickCount() + static_cast<DWORD>(seconds * 1000);
    for (;;) {
        if ((findVisible(title) != nullptr) == present) {
            return true;
        }
        if (static_cast<LONG>(GetTickCount() - limit) > 0) {
            return false;
        }
        Sleep(100);
    }
}

std::string classOf(HWND w) {
    char name[64] = {};
    GetClassNameA(w, name, sizeof name);
    return name;
}

int printChildren(HWND window, bool lists) {
    for (HWND c = GetWindow(window, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        const std::string kind = classOf(c);
        if (!lists && _stricmp(kind.c_str(), "Static") == 0) {
            char text[4096] = {};
            GetWindowTextA(c, text, sizeof text);
            if (text[0] != '\0') {
                std::printf("%s\n", text);
            }
        } else if (lists && _stricmp(kind.c_str(), "ComboBox") == 0) {
            // The wide message: wine carries its text across processes whole.
            const LRESULT count = SendMessageW(c, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                wchar_t wide[512] = {};
                char item[1024] = {};
                if (SendMessageW(c, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 511) {
                    SendMessageW(c, CB_GETLBTEXT, static_cast<WPARAM>(i),
                                 reinterpret_cast<LPARAM>(wide));
                    WideCharToMultiByte(CP_ACP, 0, wide, -1, item, sizeof item, nullptr, nullptr);
                }
                std::printf("%s\n", item);
            }
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(
            stderr,
            "usage: window-probe wait|gone|text|items|rect|endsession|suspend TITLE [SECONDS]\n");
        return 2;
    }
    const std::string command = argv[1];
    const char* title = argv[2];
    const double seconds = argc > 3 ? std::atof(argv[3]) : 10.0;
    if (command == "wait" || command == "gone") {
        if (waitFor(title, seconds, command == "wait")) {
            return 0;
        }
        std::fprintf(stderr, "window-probe: \"%s\" %s after %.0f s\n", title,
                     command == "wait" ? "did not appear" : "is still there", seconds);
        return 1;
    }
    const HWND window = findVisible(title);
    if (window == nullptr) {
        std::fprintf(stderr, "window-probe: no visible window \"%s\"\n", title);
        return 1;
    }
    if (command == "rect") {
        RECT r{};
        GetWindowRect(window, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (command == "endsession" || command == "suspend") {
        const LRESULT answer =
            command == "endsession"
                ? SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF)
                : SendMessageA(window, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0);
        std::printf("%ld\n", static_cast<long>(answer));
        return 0;
    }
    if (command == "text" || command == "items") {
        return printChildren(window, command == "items");
    }
    std::fprintf(stderr, "window-probe: unknown command %s\n", command.c_str());
    return 2;
}
