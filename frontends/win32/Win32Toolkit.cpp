#include "frontends/win32/Win32Toolkit.h"

#include "frontends/win32/Win32Ui.h"
#include "frontends/win32/Win32Window.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace zelfin::win32ui {
namespace {

constexpr UINT kRunTasks = WM_APP + 1;
constexpr const char* kTaskWindowClass = "ZelfinTasks";
// While the program ends, jobs still running hand their ends to the main thread: poll for them.
constexpr DWORD kShutdownPollMs = 50;

// What the system shows beside the program when it asks the user whether to end the session
// anyway (Vista on; looked up there, as the release programs import nothing newer than 98 and
// NT 4.0 have).
constexpr const wchar_t* kRunUnderWayReason =
    L"The drive's firmware is being written. Switching off now can leave the drive unusable.";
using ShutdownReasonCreate = BOOL(WINAPI*)(HWND, LPCWSTR);
using ShutdownReasonDestroy = BOOL(WINAPI*)(HWND);

FARPROC userEntry(const char* name) {
    HMODULE user = GetModuleHandleA("USER32.DLL");
    return user != nullptr ? GetProcAddress(user, name) : nullptr;
}

UINT iconOf(ui::DialogType type) {
    switch (type) {
    case ui::DialogType::Warning:
        return MB_ICONEXCLAMATION;
    case ui::DialogType::Error:
        return MB_ICONHAND;
    case ui::DialogType::Information:
        return MB_ICONASTERISK;
    }
    return 0;
}

LRESULT CALLBACK taskWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* kit = reinterpret_cast<Win32Toolkit*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (message == kRunTasks && kit != nullptr) {
        try {
            kit->runQueuedTasks();
        } catch (...) {
            kit->holdException(std::current_exception());
        }
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// A quit request already posted would end any modal loop at once, the message boxes' own
// included: hold it back while a dialog is up, then post it again.
class QuitHeldBack {
public:
    QuitHeldBack() {
        MSG quit;
        if (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
            held_ = true;
            code_ = static_cast<int>(quit.wParam);
        }
    }
    ~QuitHeldBack() {
        if (held_) {
            PostQuitMessage(code_);
        }
    }
    QuitHeldBack(const QuitHeldBack&) = delete;
    QuitHeldBack& operator=(const QuitHeldBack&) = delete;
    void seen(int code) {
        held_ = true;
        code_ = code;
    }

private:
    bool held_ = false;
    int code_ = 0;
};

// The top-level window a message's window belongs to.
HWND topLevelOf(HWND hwnd) {
    while (hwnd != nullptr && (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD) != 0) {
        hwnd = GetParent(hwnd);
    }
    return hwnd;
}

} // namespace

std::unique_ptr<ui::Toolkit> makeToolkit() {
    return std::make_unique<Win32Toolkit>();
}

void showFatalError(std::string_view text) {
    MessageBoxA(nullptr, std::string(text).c_str(), "Error", MB_OK | MB_ICONHAND | MB_TASKMODAL);
}

Win32Toolkit::Win32Toolkit() : instance_(GetModuleHandleA(nullptr)) {
    InitCommonControls();
    glyphs_ = std::make_unique<Glyphs>(instance_);

    WNDCLASSA tasks{};
    tasks.lpfnWndProc = taskWindowProc;
    tasks.hInstance = instance_;
    tasks.lpszClassName = kTaskWindowClass;
    if (RegisterClassA(&tasks) == 0) {
        throw std::runtime_error("cannot register the task window class: error " +
                                 std::to_string(GetLastError()));
    }
    registeredClasses_.push_back(kTaskWindowClass);
    // A hidden window rather than thread messages: a modal loop (a message box's too) dispatches
    // window messages, so a worker's end is handled even while a dialog is up.
    taskWindow_ = CreateWindowExA(0, kTaskWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  instance_, this);
    if (taskWindow_ == nullptr) {
        throw std::runtime_error("cannot create the task window: error " +
                                 std::to_string(GetLastError()));
    }
}

Win32Toolkit::~Win32Toolkit() {
    DestroyWindow(taskWindow_);
    for (const std::string& name : registeredClasses_) {
        UnregisterClassA(name.c_str(), instance_);
    }
}

void Win32Toolkit::registerClass(const char* className) {
    if (std::any_of(registeredClasses_.begin(), registeredClasses_.end(),
                    [&](const std::string& known) { return known == className; })) {
        return;
    }
    WNDCLASSA window{};
    window.style = CS_DBLCLKS;
    window.lpfnWndProc = Win32Window::windowProc;
    window.hInstance = instance_;
    window.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(1));
    window.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    window.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window.lpszClassName = className;
    if (RegisterClassA(&window) == 0) {
        throw std::runtime_error(std::string("cannot register the window class ") + className +
                                 ": error " + std::to_string(GetLastError()));
    }
    registeredClasses_.emplace_back(className);
}

std::unique_ptr<ui::Window> Win32Toolkit::createWindow(const ui::WindowDescription& description,
                                                       ui::WindowEvents& events,
                                                       ui::Window* owner) {
    auto* ownerWindow = owner != nullptr ? dynamic_cast<Win32Window*>(owner) : nullptr;
    if (owner != nullptr && ownerWindow == nullptr) {
        throw std::logic_error("createWindow: the owner is not a window of this toolkit");
    }
    auto window = std::make_unique<Win32Window>(*this, description, events, ownerWindow);
    windows_.push_back(window.get());
    return window;
}

void Win32Toolkit::forget(const Win32Window& window) {
    std::erase(windows_, &window);
    std::erase(modalStack_, &window);
}

Win32Window* Win32Toolkit::windowOf(HWND hwnd) const {
    const auto found = std::find_if(windows_.begin(), windows_.end(),
                                    [&](const Win32Window* w) { return w->handle() == hwnd; });
    return found == windows_.end() ? nullptr : *found;
}

HWND Win32Toolkit::dialogOwner() const {
    if (!modalStack_.empty()) {
        return modalStack_.back()->handle();
    }
    if (!windows_.empty() && IsWindowVisible(windows_.front()->handle())) {
        return windows_.front()->handle();
    }
    return nullptr;
}

void Win32Toolkit::closeWindow(Win32Window& window, ui::ModalResult result) {
    if (window.modal) {
        window.modalResult = result;
        return;
    }
    // The first window is the main window: closing it ends the program.
    if (!windows_.empty() && windows_.front() == &window) {
        terminate();
    }
}

ui::ModalResult Win32Toolkit::showModal(ui::Window& window) {
    auto* dialog = dynamic_cast<Win32Window*>(&window);
    if (dialog == nullptr) {
        throw std::logic_error("showModal: not a window of this toolkit");
    }
    QuitHeldBack quit;
    // However the loop ends, an exception included, the owner comes back before the dialog goes,
    // so activation returns to it.
    class ModalScope {
    public:
        ModalScope(Win32Toolkit& kit, Win32Window& d)
            : kit_(kit), dialog_(d), owner_(GetWindow(d.handle(), GW_OWNER)) {
            dialog_.modal = true;
            dialog_.modalResult = ui::ModalResult::None;
            kit_.modalStack_.push_back(&dialog_);
            if (owner_ != nullptr) {
                EnableWindow(owner_, FALSE);
            }
        }
        ~ModalScope() {
            if (owner_ != nullptr) {
                EnableWindow(owner_, TRUE);
            }
            ShowWindow(dialog_.handle(), SW_HIDE);
            std::erase(kit_.modalStack_, &dialog_);
            dialog_.modal = false;
        }
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;

    private:
        Win32Toolkit& kit_;
        Win32Window& dialog_;
        HWND owner_;
    };
    const ModalScope scope(*this, *dialog);
    dialog->show();
    MSG message;
    while (dialog->modalResult == ui::ModalResult::None) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            quit.seen(static_cast<int>(message.wParam));
            dialog->modalResult = ui::ModalResult::Cancel;
        } else if (got < 0) {
            dialog->modalResult = ui::ModalResult::Cancel;
        } else {
            dispatch(message);
        }
    }
    return dialog->modalResult;
}

ui::DialogAnswer Win32Toolkit::messageDialog(ui::DialogType type, std::string_view text,
                                             ui::DialogButtons buttons) {
    QuitHeldBack quit;
    const HWND owner = dialogOwner();
    UINT flags = iconOf(type) | MB_SETFOREGROUND;
    flags |= buttons == ui::DialogButtons::YesNo ? MB_YESNO : MB_OK;
    if (owner == nullptr) {
        flags |= MB_TASKMODAL;
    }
    const int answer =
        MessageBoxA(owner, std::string(text).c_str(), ui::dialogCaption(type), flags);
    rethrowHeld();
    switch (answer) {
    case IDOK:
        return ui::DialogAnswer::Ok;
    case IDYES:
        return ui::DialogAnswer::Yes;
    case IDNO:
        return ui::DialogAnswer::No;
    default:
        return ui::DialogAnswer::Cancel;
    }
}

void Win32Toolkit::systemBox(std::string_view text, std::string_view caption, std::uint32_t flags) {
    QuitHeldBack quit;
    MessageBoxA(dialogOwner(), std::string(text).c_str(), std::string(caption).c_str(), flags);
    rethrowHeld();
}

bool Win32Toolkit::handleKey(const MSG& message) {
    if (message.message != WM_SYSCHAR && message.message != WM_CHAR &&
        message.message != WM_KEYDOWN) {
        return false;
    }
    Win32Window* window = windowOf(topLevelOf(message.hwnd));
    if (window == nullptr) {
        return false;
    }
    int button = -1;
    if (message.message == WM_SYSCHAR ||
        (message.message == WM_CHAR && window->focusedButton() >= 0)) {
        // Alt+key anywhere, or the key alone while a button has the focus, as in a dialog.
        button = window->buttonWithAccessKey(static_cast<char>(message.wParam));
    } else if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
        button = window->returnButton();
    } else if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE && window->modal) {
        button = window->closeButton();
    }
    if (button < 0) {
        return false;
    }
    window->pressButton(static_cast<ui::ControlId>(button));
    return true;
}

void Win32Toolkit::dispatch(MSG& message) {
    if (handleKey(message)) {
        return;
    }
    if (Win32Window* window = windowOf(topLevelOf(message.hwnd))) {
        // Tab and the arrow keys move the focus between the controls.
        if (IsDialogMessageA(window->handle(), &message)) {
            rethrowHeld(); // it dispatches what it does not handle itself
            return;
        }
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    rethrowHeld();
}

void Win32Toolkit::holdException(std::exception_ptr error) {
    if (!held_) {
        held_ = std::move(error); // the first one is the cause; later ones follow from it
    }
}

void Win32Toolkit::rethrowHeld() {
    if (held_) {
        std::rethrow_exception(std::exchange(held_, nullptr));
    }
}

void Win32Toolkit::processMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            terminated_ = true; // the loop stops at it; nothing further is dispatched now
            return;
        }
        dispatch(message);
    }
}

void Win32Toolkit::waitForMessages() {
    if (terminated_) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kShutdownPollMs, QS_ALLINPUT);
        return;
    }
    WaitMessage();
}

void Win32Toolkit::terminate() {
    if (!terminated_) {
        terminated_ = true;
        PostQuitMessage(0);
    }
}

void Win32Toolkit::runOnMainThread(std::function<void()> task) {
    // The message is posted under the queue's lock, while this toolkit surely still exists.
    tasks_.push(std::move(task), [this] { PostMessageA(taskWindow_, kRunTasks, 0, 0); });
}

void Win32Toolkit::setRunUnderWay(bool underWay) {
    runUnderWay_ = underWay;
    if (underWay && blockedShutdown_ == nullptr && !windows_.empty()) {
        const auto create = reinterpret_cast<ShutdownReasonCreate>(
            reinterpret_cast<void*>(userEntry("ShutdownBlockReasonCreate")));
        if (create != nullptr && create(windows_.front()->handle(), kRunUnderWayReason)) {
            blockedShutdown_ = windows_.front()->handle();
        }
    } else if (!underWay && blockedShutdown_ != nullptr) {
        const auto destroy = reinterpret_cast<ShutdownReasonDestroy>(
            reinterpret_cast<void*>(userEntry("ShutdownBlockReasonDestroy")));
        if (destroy != nullptr) {
            destroy(blockedShutdown_);
        }
        blockedShutdown_ = nullptr;
    }
}

void Win32Toolkit::runQueuedTasks() {
    tasks_.runQueued();
}

} // namespace zelfin::win32ui
