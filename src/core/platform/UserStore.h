#pragma once

#include <optional>
#include <string>

namespace gf {

// Per-user key-value store (the registry under HKEY_CURRENT_USER).
class IUserStore {
public:
    virtual ~IUserStore() = default;
    virtual std::optional<std::string> Get(const std::string& key, const std::string& name) = 0;
    virtual bool Set(const std::string& key, const std::string& name, const std::string& value) = 0;
};

// The single-instance marker: held for the life of the process.
class IInstanceLock {
public:
    virtual ~IInstanceLock() = default;
    // True when this process now holds the marker; false when another
    // instance of the same user holds it.
    virtual bool Acquire(const std::string& markerName) = 0;
};

}  // namespace gf
