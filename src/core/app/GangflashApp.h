#pragma once

#include <string>

namespace gf {

class IInstanceLock;
class IView;

// The single-instance marker; one per user logon.
inline constexpr const char* kInstanceMarker = "DPCInstance_605AEC83_6D25_45B2_B8EC_26202531D2A96";
inline constexpr const char* kAlreadyRunningText = "升级工具已经启动!";

// The About box.
inline constexpr const char* kAboutCaption = "关于 Gangflash";
inline constexpr const char* kAboutLine1 = "Gangflash，1.0 版";
inline constexpr const char* kAboutLine2 = "Copyright (C) 2024 ORVATech";
inline constexpr const char* kAboutMenuText = "关于 Gangflash(&A)...";
inline constexpr const char* kWindowCaption = "Gangflash V2.1";

// The application object's start: takes the marker, or tells the operator that
// the station already runs and returns false (no window is to be created).
class CGangflashApp {
public:
    explicit CGangflashApp(IInstanceLock& lock) : m_lock(lock) {}
    bool InitInstance(IView& messageView);

private:
    IInstanceLock& m_lock;
};

}  // namespace gf
