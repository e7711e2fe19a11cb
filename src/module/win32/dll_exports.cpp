// The module's entry point and its four exports.
#include <windows.h>

#include "common/win32/com_module.h"
#include "control/win32/file_drag_drop.h"
#include "control/win32/drop_setup.h"
#include "download/win32/download_com.h"
#include "dragdrop/win32/page_drop_target.h"
#include "module/win32/class_factory.h"
#include "module/win32/registration.h"
#include "upload/win32/upload_com.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        qm::FileDragDrop::Operations operations;
        operations.download = &qm::RunDownloadFile;
        operations.upload = &qm::RunUploadFile;
        operations.update = &qm::RunUpdateFile;
        operations.processLocked = &qm::RunProcessLockedFiles;
        operations.uploadSetup = &qm::RunUploadSetup;
        qm::FileDragDrop::SetOperations(operations);
        qm::BindDropTargetSetup(&qm::SetUpPageDropTarget, &qm::ReleasePageDropTarget);
    }
    if (reason == DLL_PROCESS_DETACH) qm::ReleaseClassTable();
    return TRUE;
}

extern "C" {

HRESULT WINAPI DllCanUnloadNow() { return qm::ModuleLockCount() == 0 ? S_OK : S_FALSE; }

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    return qm::GetClassObject(clsid, riid, object);
}

HRESULT WINAPI DllRegisterServer() { return qm::RegisterModule(); }

HRESULT WINAPI DllUnregisterServer() { return qm::UnregisterModule(); }

}
