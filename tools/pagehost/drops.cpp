#include "drops.h"

#include <ole2.h>
#include <wrl/client.h>
#include <oleidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "comkit/drag_data.h"
#include "hooks.h"
#include "record.h"

namespace qm::pagehost {

bool PostShellDrop(HWND window, const std::vector<std::wstring>& paths) {
    HGLOBAL drop = comkit::MakeDropFilesData(paths, POINT{40, 40});
    if (!drop) return false;
    std::wstring list;
    for (auto& path : paths) list += (list.empty() ? L"" : L"|") + path;
    bool posted = PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0) != FALSE;
    if (!posted) GlobalFree(drop);
    TheRecord().Add(JsonObject().Text("kind", L"shellDrop").Text("files", list).Bool("posted", posted));
    return posted;
}

long OleDrop(HWND window, DropKind kind, const std::vector<std::wstring>& payload) {
    const Microsoft::WRL::ComPtr<IDropTarget> target(RegisteredDropTarget(window));
    const wchar_t* kindName = kind == DropKind::Files ? L"files" : kind == DropKind::Text ? L"text" : L"mailItem";
    if (!target) {
        TheRecord().Add(JsonObject().Text("kind", L"oleDrop").Text("data", kindName).Bool("target", false));
        return -1;
    }
    Microsoft::WRL::ComPtr<IDataObject> data;
    if (kind == DropKind::Files) {
        data = comkit::MakeDragData({{CF_HDROP, comkit::MakeDropFilesData(payload)}});
    } else if (kind == DropKind::Text) {
        data = comkit::MakeDragData({{CF_UNICODETEXT, comkit::MakeTextData(payload.empty() ? L"" : payload[0])}});
    } else {
        std::wstring typeName = payload.empty() ? L"Outlook Mail Message" : payload[0];
        std::wstring source = payload.size() > 1 ? payload[1] : L"Outlook";
        data = comkit::MakeDragData(
            {{comkit::ObjectDescriptorFormat(), comkit::MakeObjectDescriptorData(typeName, source)}});
    }
    RECT area = {};
    GetWindowRect(window, &area);
    POINTL point = {area.left + 40, area.top + 40};
    DWORD allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    DWORD enter = allowed, over = allowed, dropped = allowed;
    HRESULT hrEnter = target->DragEnter(data.Get(), MK_LBUTTON, point, &enter);
    HRESULT hrOver = S_OK, hrDrop = S_OK;
    bool droppedIt = false;
    if (SUCCEEDED(hrEnter) && enter != DROPEFFECT_NONE) {
        hrOver = target->DragOver(MK_LBUTTON, point, &over);
        if (SUCCEEDED(hrOver) && over != DROPEFFECT_NONE) {
            dropped = over;
            hrDrop = target->Drop(data.Get(), 0, point, &dropped);
            droppedIt = true;
        } else {
            target->DragLeave();
        }
    } else {
        target->DragLeave();
    }
    if (!droppedIt) dropped = DROPEFFECT_NONE;
    std::wstring list;
    for (auto& item : payload) list += (list.empty() ? L"" : L"|") + item;
    TheRecord().Add(JsonObject().Text("kind", L"oleDrop").Text("data", kindName).Text("payload", list).Bool("target", true)
                        .Number("enterHr", hrEnter).Number("enterEffect", enter).Number("overEffect", over)
                        .Bool("dropped", droppedIt).Number("dropHr", hrDrop).Number("dropEffect", dropped));
    return static_cast<long>(dropped);
}

}  // namespace qm::pagehost
