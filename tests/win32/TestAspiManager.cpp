// A test-only ASPI manager (WNASPI32.DLL) for the programs under wine: it hosts the simulated
// machine described by the scenario file named in ZELFIN_ASPI_SCENARIO, answers the two ASPI
// entry points from it, and writes into the folder named by ZELFIN_ASPI_OUTPUT each drive's
// transcript as commands arrive (transcript-D.txt) and its flash when the process ends
// (flash-D.bin). Requests complete on a thread of the manager, which sets the caller's event.
// Its threads and locks are the sync/ ones, so the i686 build (no std::thread) has it too.
#include "platforms/win32/AspiLayout.h"
#include "sim/Scenario.h"
#include "sim/SimFlash.h"
#include "sync/Sync.h"

#include <windows.h>

// The simulator's seam methods keep their plain names.
#undef LoadLibrary
#undef CreateEvent

#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using zelfin::OsHandle;
using zelfin::ProcAddress;
using zelfin::win32::NativeSrbAbort;
using zelfin::win32::NativeSrbExecScsiCmd;
using Lock = zelfin::sync::Lock<zelfin::sync::Mutex>;

struct Request {
    zelfin::SrbExecScsiCmd portable{}; // the block the simulator works on
    NativeSrbExecScsiCmd* native = nullptr;
    OsHandle simEvent = 0;
};

class Manager {
public:
    Manager() {
        const char* scenario = std::getenv("ZELFIN_ASPI_SCENARIO");
        const char* output = std::getenv("ZELFIN_ASPI_OUTPUT");
        output_ = output != nullptr ? output : ".";
        scenario_ = zelfin::sim::ReadScenarioFile(scenario != nullptr ? scenario : "");
        for (zelfin::sim::SimDrive* drive : scenario_.drives) {
            const std::string path = output_ + "/transcript-" + drive->Name() + ".txt";
            std::FILE* file = std::fopen(path.c_str(), "w");
            if (file != nullptr) {
                drive->SetTranscriptSink([file](const std::string& line) {
                    std::fputs(line.c_str(), file);
                    std::fputc('\n', file);
                    std::fflush(file);
                });
            }
        }
        zelfin::sim::SimMachine& machine = *scenario_.machine;
        module_ = machine.LoadLibrary("WNASPI32.DLL");
        info_ = machine.GetProcAddress(module_, "GetASPI32SupportInfo");
        send_ = machine.GetProcAddress(module_, "SendASPI32Command");
        // The completer lives as long as the process.
        if (!zelfin::sync::startDetached(
                [](void* self) { static_cast<Manager*>(self)->Complete(); }, this)) {
            throw std::runtime_error("no thread for completing requests");
        }
    }

    DWORD SupportInfo() { return scenario_.machine->CallGetASPI32SupportInfo(info_); }

    DWORD Send(void* srb) {
        const uint8_t command = static_cast<uint8_t*>(srb)[0];
        if (command == zelfin::kScExecScsiCmd) {
            return Execute(*static_cast<NativeSrbExecScsiCmd*>(srb));
        }
        if (command == zelfin::kScAbortSrb) {
            return Abort(*static_cast<NativeSrbAbort*>(srb));
        }
        Lock lock(mutex_);
        return scenario_.machine->CallSendASPI32Command(send_, srb, {});
    }

    // Called as the process ends: the drives' flash memories, for the test to compare.
    void WriteFlashes() {
        for (zelfin::sim::SimDrive* drive : scenario_.drives) {
            auto* flash = dynamic_cast<zelfin::sim::SimFlash*>(drive->GetFlashModel());
            if (flash == nullptr) {
                continue;
            }
            const std::string path = output_ + "/flash-" + drive->Name() + ".bin";
            HANDLE file =
                CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                DWORD written = 0;
                WriteFile(file, flash->Contents().data(),
                          static_cast<DWORD>(flash->Contents().size()), &written, nullptr);
                CloseHandle(file);
            }
        }
    }

private:
    DWORD Execute(NativeSrbExecScsiCmd& native) {
        Lock lock(mutex_);
        zelfin::sim::SimMachine& machine = *scenario_.machine;
        std::unique_ptr<Request>& slot = requests_[&native];
        if (!slot) {
            slot = std::make_unique<Request>();
        }
        Request& r = *slot;
        r.native = &native;
        r.simEvent = machine.CreateEvent();
        zelfin::SrbExecScsiCmd& p = r.portable;
        p = {};
        p.SRB_Cmd = native.SRB_Cmd;
        p.SRB_HaId = native.SRB_HaId;
        // The simulator always signals its own event; the caller's is set on publishing.
        p.SRB_Flags = native.SRB_Flags | zelfin::kSrbEventNotify;
        p.SRB_Target = native.SRB_Target;
        p.SRB_Lun = native.SRB_Lun;
        p.SRB_BufLen = native.SRB_BufLen;
        p.SRB_SenseLen = native.SRB_SenseLen;
        p.SRB_CDBLen = native.SRB_CDBLen;
        std::memcpy(p.CDBByte, native.CDBByte, sizeof(p.CDBByte));
        const zelfin::AspiRequestRefs refs{native.SRB_BufPointer, r.simEvent, nullptr};
        machine.CallSendASPI32Command(send_, &p, refs);
        if (p.SRB_Status != zelfin::kSsPending) {
            Publish(r); // refused at once: no device, bad request
            return p.SRB_Status;
        }
        // The simulated drive answers in simulated time; a request it never answers stays
        // pending here until it is aborted.
        machine.WaitForSingleObject(r.simEvent, 3'600'000);
        native.SRB_Status = zelfin::kSsPending;
        if (p.SRB_Status != zelfin::kSsPending) {
            queue_.push_back(&r);
            ready_.notify();
        }
        return zelfin::kSsPending;
    }

    DWORD Abort(NativeSrbAbort& abort) {
        Lock lock(mutex_);
        auto it = requests_.find(abort.SRB_ToAbort);
        zelfin::SrbAbort portable{};
        portable.SRB_Cmd = abort.SRB_Cmd;
        portable.SRB_HaId = abort.SRB_HaId;
        void* target = it != requests_.end() ? &it->second->portable : nullptr;
        scenario_.machine->CallSendASPI32Command(send_, &portable, {nullptr, 0, target});
        if (it != requests_.end() && it->second->portable.SRB_Status == zelfin::kSsAborted) {
            Publish(*it->second);
        }
        abort.SRB_Status = portable.SRB_Status;
        return portable.SRB_Status;
    }

    // Writes the results into the caller's block, the status last, then sets its event.
    void Publish(Request& r) {
        scenario_.machine->CloseHandle(r.simEvent);
        NativeSrbExecScsiCmd& n = *r.native;
        n.SRB_HaStat = r.portable.SRB_HaStat;
        n.SRB_TargStat = r.portable.SRB_TargStat;
        std::memcpy(n.SenseArea, r.portable.SenseArea, sizeof(n.SenseArea));
        __atomic_store_n(&n.SRB_Status, r.portable.SRB_Status, __ATOMIC_RELEASE);
        if ((n.SRB_Flags & zelfin::kSrbEventNotify) != 0 && n.SRB_PostProc != nullptr) {
            SetEvent(static_cast<HANDLE>(n.SRB_PostProc));
        }
    }

    void Complete() {
        Lock lock(mutex_);
        for (;;) {
            while (queue_.empty()) {
                ready_.waitFor(mutex_, std::chrono::hours(1));
            }
            Request* r = queue_.front();
            queue_.pop_front();
            Publish(*r);
        }
    }

    std::string output_;
    zelfin::sim::Scenario scenario_;
    zelfin::OsModule module_ = 0;
    ProcAddress info_ = 0;
    ProcAddress send_ = 0;
    zelfin::sync::Mutex mutex_;
    zelfin::sync::Signal ready_;
    std::deque<Request*> queue_;
    std::map<const void*, std::unique_ptr<Request>> requests_;
};

// Made on first use and never destroyed: the process's end must still find the drives.
Manager* manager = nullptr;
zelfin::sync::Mutex making;

Manager& TheManager() {
    Lock lock(making);
    if (manager == nullptr) {
        manager = new Manager();
    }
    return *manager;
}

} // namespace

extern "C" __declspec(dllexport) DWORD GetASPI32SupportInfo() {
    try {
        return TheManager().SupportInfo();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "test ASPI manager: %s\n", error.what());
        return DWORD{zelfin::kSsNoAspi} << 8;
    }
}

extern "C" __declspec(dllexport) DWORD SendASPI32Command(void* srb) {
    return TheManager().Send(srb);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        // Stay loaded until the process ends, so the drives keep their state between the
        // program's loads of the manager.
        HMODULE self = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCSTR>(instance), &self);
    } else if (reason == DLL_PROCESS_DETACH && manager != nullptr) {
        manager->WriteFlashes();
    }
    return TRUE;
}
