#include "StorageWriter.h"

namespace gf::sim {

StorageWriter::StorageWriter(EdlStorage& storage, std::size_t bufferSize, int depth)
    : m_storage(storage), m_bufferSize(bufferSize) {
    for (int i = 0; i < depth; ++i) {
        m_buffers.emplace_back(bufferSize);
        m_free.push_back(i);
    }
    m_thread = std::thread([this] { Run(); });
}

StorageWriter::~StorageWriter() {
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

int StorageWriter::Acquire() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_free.empty(); });
    int buffer = m_free.front();
    m_free.pop_front();
    return buffer;
}

void StorageWriter::Release(int buffer) {
    {
        std::lock_guard lock(m_mutex);
        m_free.push_back(buffer);
    }
    m_changed.notify_all();
}

void StorageWriter::Submit(int buffer, int partition, uint64_t offset, std::size_t size) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(Job{buffer, partition, offset, size});
    }
    m_changed.notify_all();
}

bool StorageWriter::Finish(std::string& error) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && m_free.size() == m_buffers.size(); });
    error = m_error;
    m_error.clear();
    return error.empty();
}

void StorageWriter::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_jobs.empty() || m_closing; });
        if (m_jobs.empty()) return;
        Job job = m_jobs.front();
        m_jobs.pop_front();
        const bool skip = !m_error.empty();  // after a failure the rest is dropped
        lock.unlock();
        std::string error;
        if (!skip) m_storage.Write(job.partition, job.offset, Data(job.buffer), job.size, error);
        lock.lock();
        if (!error.empty() && m_error.empty()) m_error = error;
        m_free.push_back(job.buffer);
        m_changed.notify_all();
    }
}

}  // namespace gf::sim
