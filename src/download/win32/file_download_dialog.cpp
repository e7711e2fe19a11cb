#include "download/win32/file_download_dialog.h"

#include <shellapi.h>

#include "download/file_download_resource.h"
#include "common/win32/module_instance.h"
#include "ui/progress_layout.h"
#include "ui/win32/derived_font.h"
#include "ui/win32/dialogs_win32.h"

namespace qm {

FileTypeInfo LookUpFileType(const std::wstring& pattern) {
    SHFILEINFOW info{};
    FileTypeInfo out;
    if (SHGetFileInfoW(pattern.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                       SHGFI_USEFILEATTRIBUTES | SHGFI_TYPENAME | SHGFI_ICON | SHGFI_LARGEICON)) {
        out.typeName = info.szTypeName;
        out.icon = info.hIcon;
    }
    return out;
}

namespace {

constexpr int kFooterMarginUnits = 5;

// The height of a text wrapped at the width in the control's font; at least one line.
int WrappedTextHeight(HWND control, const std::wstring& text, int width) {
    const HDC dc = GetDC(control);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring measured = text.empty() ? std::wstring(L" ") : text;
    RECT r{0, 0, width, 0};
    DrawTextW(dc, measured.c_str(), static_cast<int>(measured.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return r.bottom - r.top;
}

}  // namespace

int FileDownloadDialog::Run(WindowRef owner, const FileDownloadValues& values) {
    values_ = &values;
    state_ = InitialDialogState(values);
    const INT_PTR code = DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_FILE_DOWNLOAD), ToHwnd(owner),
                                         &FileDownloadDialog::Procedure, reinterpret_cast<LPARAM>(this));
    boldFont_.reset();
    icon_.reset();
    window_ = nullptr;
    values_ = nullptr;
    return code == 0 || code == -1 ? -1 : static_cast<int>(code);
}

INT_PTR CALLBACK FileDownloadDialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    FileDownloadDialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<FileDownloadDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
    } else {
        self = reinterpret_cast<FileDownloadDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    return self ? self->Handle(message, wParam, lParam) : FALSE;
}

void FileDownloadDialog::Initialise() {
    const FileDownloadValues& v = *values_;
    SetDlgItemTextW(window_, IDC_FD_FILE_NAME, v.fileName.c_str());
    SetDlgItemTextW(window_, IDC_FD_SOURCE, v.source.c_str());
    SetDlgItemTextW(window_, IDC_FD_HEADER, v.header.c_str());
    SetDlgItemTextW(window_, IDC_FD_FOOTER, v.footer.c_str());
    for (auto [button, id] : {std::pair{&open_, IDC_FD_OPEN}, {&save_, IDC_FD_SAVE}, {&cancel_, IDC_FD_CANCEL}})
        button->Bind(GetDlgItem(window_, id));

    // The footer wraps at its width and the window ends a little below it, whatever the font and the scaling.
    HWND footer = GetDlgItem(window_, IDC_FD_FOOTER);
    RECT place{};
    GetWindowRect(footer, &place);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&place), 2);
    const int footerHeight = WrappedTextHeight(footer, v.footer, place.right - place.left);
    SetWindowPos(footer, nullptr, 0, 0, place.right - place.left, footerHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(window_, &client);
    RECT margin{0, 0, 0, kFooterMarginUnits};
    MapDialogRect(window_, &margin);
    RECT frame{0, 0, client.right, place.top + footerHeight + margin.bottom};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window_, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    HWND owner = GetWindow(window_, GW_OWNER);
    RECT ownerRect{}, work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const PixelRect workArea{work.left, work.top, work.right - work.left, work.bottom - work.top};
    PixelRect ownerArea;
    const PixelRect* ownerPtr = nullptr;
    if (owner && IsWindowVisible(owner) && !IsIconic(owner) && GetWindowRect(owner, &ownerRect)) {
        ownerArea = {ownerRect.left, ownerRect.top, ownerRect.right - ownerRect.left, ownerRect.bottom - ownerRect.top};
        ownerPtr = &ownerArea;
    }
    const PixelPoint at = CentredPosition(width, height, ownerPtr, workArea);
    SetWindowPos(window_, nullptr, at.x, at.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);

    CheckDlgButton(window_, IDC_FD_EDIT_MODE, state_.editChecked ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(window_, IDC_FD_SAVE), state_.saveEnabled);
    EnableWindow(GetDlgItem(window_, IDC_FD_EDIT_MODE), state_.editEnabled);

    const FileTypeInfo type = LookUpFileType(TypeLookupPattern(v.fileName));
    SetDlgItemTextW(window_, IDC_FD_TYPE, TypeAndSizeText(type.typeName, v.sizeText).c_str());
    icon_.reset(type.icon);
    if (icon_) SendDlgItemMessageW(window_, IDC_FD_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon_.get()), 0);

    boldFont_ = CreateDerivedFont(window_, kFontBold);
    if (boldFont_) SendDlgItemMessageW(window_, IDC_FD_HEADER, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()), TRUE);
}

INT_PTR FileDownloadDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            Initialise();
            if (onShown) onShown(*this, onShownContext);
            return TRUE;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item && item->CtlType == ODT_BUTTON) {
                SendMessageW(item->hwndItem, kReflectedMessageBase + WM_DRAWITEM, wParam, lParam);
                SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id == IDC_FD_EDIT_MODE && HIWORD(wParam) == BN_CLICKED) {
                state_ = AfterEditClicked(state_, IsDlgButtonChecked(window_, IDC_FD_EDIT_MODE) == BST_CHECKED);
                EnableWindow(GetDlgItem(window_, IDC_FD_SAVE), state_.saveEnabled);
                return TRUE;
            }
            // Escape arrives as IDCANCEL, which is the Cancel button's id.
            if (auto end = EndForButton(id, state_)) {
                EndDialog(window_, *end);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace qm
