#pragma once

#include <string>

#include "diag/QmslTable.h"

namespace gf {

class IDeviceTree;

// Loads our diag library at run time and fills the function table from its
// QLIB_ exports. The library finds the device node of a COM number through
// the station's device tree, which the loader hands it. Load once, on the
// UI thread, before any job runs; the table stays valid while the loader lives.
class QmslLoader {
public:
    QmslLoader() = default;
    ~QmslLoader();
    QmslLoader(const QmslLoader&) = delete;
    QmslLoader& operator=(const QmslLoader&) = delete;

    // `path`: the library file (e.g. "libqmsl.so" next to the program). False
    // with the reason in `error` when the library or one of its functions is
    // missing.
    bool Load(const std::string& path, IDeviceTree* devices, std::string& error);
    const QmslTable* Table() const { return m_loaded ? &m_table : nullptr; }

    // The device node of COM<port> in the current device tree, empty when the
    // port is not present. Used by the library through its resolver.
    static std::string ResolvePort(IDeviceTree* devices, unsigned port);

private:
    void* m_lib = nullptr;
    QmslTable m_table{};
    bool m_loaded = false;
};

}  // namespace gf
