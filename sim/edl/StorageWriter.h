#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "EdlStorage.h"

namespace gf::sim {

// Writes received program data into the storage on a thread of its own, so the
// device keeps draining the port while the previous chunk is being stored. A
// small pool of buffers bounds the memory and lets the port reader run ahead by
// at most that many chunks. Used by one device thread at a time.
class StorageWriter {
public:
    StorageWriter(EdlStorage& storage, std::size_t bufferSize, int depth = 4);
    ~StorageWriter();  // stores what was submitted, then ends the thread
    StorageWriter(const StorageWriter&) = delete;
    StorageWriter& operator=(const StorageWriter&) = delete;

    std::size_t BufferSize() const { return m_bufferSize; }
    // A free buffer (waits while all are queued).
    int Acquire();
    uint8_t* Data(int buffer) { return m_buffers[static_cast<std::size_t>(buffer)].data(); }
    // Gives an acquired buffer back unused.
    void Release(int buffer);
    // Queues `size` bytes of `buffer` for `offset` of `partition`.
    void Submit(int buffer, int partition, uint64_t offset, std::size_t size);
    // Waits until everything submitted is stored; false with the first write
    // error since the last Finish.
    bool Finish(std::string& error);

private:
    struct Job {
        int buffer;
        int partition;
        uint64_t offset;
        std::size_t size;
    };
    void Run();

    EdlStorage& m_storage;
    const std::size_t m_bufferSize;
    std::vector<std::vector<uint8_t>> m_buffers;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<int> m_free;
    std::deque<Job> m_jobs;
    bool m_closing = false;
    std::string m_error;
    std::thread m_thread;
};

}  // namespace gf::sim
