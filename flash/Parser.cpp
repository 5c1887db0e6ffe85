#include "flash/Parser.h"

#include "device/AtapiDevice.h"

#include <stdexcept>
#include <utility>

namespace zelfin {

Parser::Parser(const FlashJob& job, Handler onTerminate, PostToMainThread postToMainThread,
               ProcessMessages processMessages)
    : job_(job), onTerminate_(std::move(onTerminate)),
      postToMainThread_(std::move(postToMainThread)), processMessages_(std::move(processMessages)) {
}

void Parser::Start(const FlashJob& job, Handler onTerminate, PostToMainThread postToMainThread,
                   ProcessMessages processMessages) {
    if (!onTerminate || !postToMainThread) {
        throw std::invalid_argument("Parser: an end-of-job handler and a way to post it to the "
                                    "main thread are required");
    }
    auto* self = new Parser(job, std::move(onTerminate), std::move(postToMainThread),
                            std::move(processMessages));
    AtapiDevice* device = self->job_.device;
    if (device == nullptr || !device->GetPlatform().CreateThread(&Parser::ThreadMain, self)) {
        // The job never ran; the caller still counts on its handler.
        if (device != nullptr) {
            device->jobFailed = kJobFailed;
        }
        if (self->job_.failure != nullptr) {
            *self->job_.failure = {FlashStep::NoWorker};
        }
        Finish(self);
    }
}

void Parser::ThreadMain(void* argument) {
    auto* self = static_cast<Parser*>(argument);
    self->Run();
    Finish(self);
}

void Parser::Run() {
    RunFlashJob(job_, processMessages_);
}

void Parser::Finish(Parser* self) {
    // The object is gone before the main thread hears of the end, so nothing can reach it.
    Handler handler = std::move(self->onTerminate_);
    PostToMainThread post = std::move(self->postToMainThread_);
    delete self;
    post(std::move(handler));
}

} // namespace zelfin
