#pragma once

// The diag library's contract: the 14 functions the station calls, with C
// linkage and C types, as our libqmsl exports them under their QLIB_ names.
// Booleans are one byte, non-zero meaning true. Every function may be called
// from any job thread at once, each thread on its own connection.

namespace gf {

using QmslLibHandle = void*;

// Called for every file transfer of a connection, with the connection's handle
// as context. Return true to go on.
using QmslEfsFileCallback = bool (*)(const char* srcName, const char* dstName, int operation,
                                     int subOption, int bytesTransferred, int fileSize,
                                     QmslLibHandle context);
using QmslEfsDirCallback = bool (*)(const char* name, int operation, QmslLibHandle context);

struct QmslTable {
    void (*SetLibraryMode)(unsigned char useQpst);
    void (*SetTargetType)(unsigned char targetType);
    // Null when the port cannot be opened.
    QmslLibHandle (*ConnectServer)(unsigned int comPort);
    unsigned char (*ConfigureEfs2CallBacks)(QmslLibHandle handle, QmslEfsFileCallback fileCb,
                                            QmslEfsDirCallback dirCb);
    unsigned char (*GetLibraryCapabilities)(unsigned char* supportsDiag, unsigned char* supportsEfs,
                                            unsigned char* supportsSwDownload,
                                            unsigned char* usingQpst);
    // True when the device answers; false for a null handle.
    unsigned char (*IsPhoneConnected)(QmslLibHandle handle);
    void (*StopLogging)(QmslLibHandle handle);
    // Closes the handle; it is never valid again.
    void (*DisconnectServer)(QmslLibHandle handle);
    // True when the device accepted the switch to emergency download.
    unsigned char (*QPHONEMS_SwitchToEDL)(QmslLibHandle handle);
    // `spc`: six ASCII digits, no terminator. True when exchanged; *result
    // non-zero when the code was accepted.
    unsigned char (*DIAG_SPC_F)(QmslLibHandle handle, unsigned char* spc, unsigned char* result);
    unsigned char (*NV_SetTargetSupportMultiSIM)(QmslLibHandle handle, unsigned char supported);
    // `path`: a writable buffer of at least 260 bytes. Result codes start at 0.
    unsigned char (*BackupNVFromMobileToQCN)(QmslLibHandle handle, char* path, int* resultCode);
    unsigned char (*NV_LoadNVsFromQCN)(QmslLibHandle handle, char* path, int* count,
                                       int* resultCode);
    unsigned char (*NV_WriteNVsToMobile)(QmslLibHandle handle, int* resultCode);
};

}  // namespace gf
