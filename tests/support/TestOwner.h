#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "RecordingView.h"
#include "job/JobOwner.h"
#include "util/QueueDispatcher.h"

namespace gf::test {

// A main window for job tests: records the two window messages and hands a
// recording view and a manually pumped dispatcher to the job.
class TestOwner : public IJobOwner {
public:
    IView& View() override { return view; }
    IDispatcher& Dispatcher() override { return dispatcher; }
    void OnSlotStateMessage(int statusId, int state) override {
        std::lock_guard lock(m_mutex);
        states.emplace_back(statusId, state);
    }
    void OnNewPortMessage(int slot, const char* port) override {
        std::lock_guard lock(m_mutex);
        ports.emplace_back(slot, port ? port : "");
    }
    std::vector<std::pair<int, int>> States() const {
        std::lock_guard lock(m_mutex);
        return states;
    }
    std::vector<std::pair<int, std::string>> Ports() const {
        std::lock_guard lock(m_mutex);
        return ports;
    }

    RecordingView view;
    QueueDispatcher dispatcher;

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<int, int>> states;
    std::vector<std::pair<int, std::string>> ports;
};

}  // namespace gf::test
