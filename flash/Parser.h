#pragma once
// The worker that runs one programming job. It is created with the job and the end-of-job
// handler already attached, runs the job on a thread of its own, hands the handler to the main
// thread when the job body has returned, and frees itself. Nothing uses it once started.

#include "flash/FlashJob.h"
#include "flash/Programming.h"

#include <functional>

namespace zelfin {

class Parser {
public:
    using Handler = std::function<void()>;
    // Queues a callable to run on the main thread (the toolkit's hand-back).
    using PostToMainThread = std::function<void(Handler)>;

    // Starts the job. onTerminate and postToMainThread must be set (std::invalid_argument
    // otherwise). processMessages, when set, runs on the worker between the polls of Pause.
    // The thread is started through the job device's platform. If none can be started, or the
    // job has no device, the job is marked failed and its handler is still posted.
    static void Start(const FlashJob& job, Handler onTerminate, PostToMainThread postToMainThread,
                      ProcessMessages processMessages = {});

    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

private:
    Parser(const FlashJob& job, Handler onTerminate, PostToMainThread postToMainThread,
           ProcessMessages processMessages);
    ~Parser() = default;

    // The thread body, started through the job device's platform.
    static void ThreadMain(void* argument);
    void Run();
    static void Finish(Parser* self);

    FlashJob job_;
    Handler onTerminate_;
    PostToMainThread postToMainThread_;
    ProcessMessages processMessages_;
};

} // namespace zelfin
