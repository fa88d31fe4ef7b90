#include "app/GangflashApp.h"

#include "job/DownloadProc.h"
#include "platform/UserStore.h"
#include "platform/View.h"

namespace gf {

bool CGangflashApp::InitInstance(IView& messageView) {
    if (!m_lock.Acquire(kInstanceMarker)) {
        messageView.MessageBox(kAlreadyRunningText, kAppName, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

}  // namespace gf
