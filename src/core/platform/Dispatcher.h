#pragma once

#include <functional>

namespace gf {

// The user-interface thread as seen from anywhere else: the stand-in for
// SendMessage/PostMessage to the main window.
class IDispatcher {
public:
    virtual ~IDispatcher() = default;
    // Runs `fn` on the UI thread and returns once it has run. Called on the UI
    // thread itself it runs `fn` at once.
    virtual void Send(const std::function<void()>& fn) = 0;
    // Queues `fn` for the UI thread and returns at once.
    virtual void Post(std::function<void()> fn) = 0;
    virtual bool IsUiThread() const = 0;
    // Runs the work queued so far (UI thread only); used while the UI thread
    // waits for workers at shutdown. Returns how many items ran.
    virtual int RunPending() { return 0; }
};

}  // namespace gf
