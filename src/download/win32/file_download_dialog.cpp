#include "download/win32/file_download_dialog.h"

#include <shellapi.h>

#include "download/file_download_resource.h"
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
// The most lines a page's header or footer makes room for; a longer text is cut there rather than making the
// dialog taller than a screen.
constexpr int kMostTextLines = 12;

RECT ChildRect(HWND dialog, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The height of a text wrapped at the width in the control's font: at least one line, at most kMostTextLines.
int WrappedTextHeight(HWND control, const std::wstring& text, int width) {
    const UniqueWindowDc dc(control);
    const SelectedObject font(dc.get(), reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring measured = text.empty() ? std::wstring(L" ") : text;
    RECT r{0, 0, width, 0};
    DrawTextW(dc.get(), measured.c_str(), static_cast<int>(measured.size()), &r,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.get(), &metrics);
    const int most = kMostTextLines * static_cast<int>(metrics.tmHeight);
    const int height = r.bottom - r.top;
    return most > 0 && height > most ? most : height;
}

void Resize(HWND window, int width, int height) {
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

int FileDownloadDialog::Run(WindowRef owner, const FileDownloadValues& values) {
    values_ = &values;
    state_ = InitialDialogState(values);
    const INT_PTR code = RunModal(IDD_FILE_DOWNLOAD, ToHwnd(owner));
    boldFont_.reset();
    icon_.reset();
    values_ = nullptr;
    return code == 0 || code == -1 ? -1 : static_cast<int>(code);
}

// The header and the footer come from the page: each wraps at its width, the header pushes what is under it down,
// and the window ends a little below the footer, whatever the font and the scaling.
void FileDownloadDialog::FitTexts() {
    HWND header = GetDlgItem(window_, IDC_FD_HEADER);
    const RECT headerPlace = ChildRect(window_, header);
    const int headerWidth = headerPlace.right - headerPlace.left;
    const int grow = WrappedTextHeight(header, values_->header, headerWidth) - (headerPlace.bottom - headerPlace.top);
    if (grow > 0) {
        Resize(header, headerWidth, headerPlace.bottom - headerPlace.top + grow);
        for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            const RECT r = ChildRect(window_, child);
            if (child != header && r.top >= headerPlace.bottom)
                SetWindowPos(child, nullptr, r.left, r.top + grow, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }

    HWND footer = GetDlgItem(window_, IDC_FD_FOOTER);
    const RECT place = ChildRect(window_, footer);
    const int footerHeight = WrappedTextHeight(footer, values_->footer, place.right - place.left);
    Resize(footer, place.right - place.left, footerHeight);
    RECT client{};
    GetClientRect(window_, &client);
    RECT margin{0, 0, 0, kFooterMarginUnits};
    MapDialogRect(window_, &margin);
    RECT frame{0, 0, client.right, place.top + footerHeight + margin.bottom};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window_, GWL_EXSTYLE)));
    Resize(window_, frame.right - frame.left, frame.bottom - frame.top);
}

void FileDownloadDialog::Initialise() {
    const FileDownloadValues& v = *values_;
    SetDlgItemTextW(window_, IDC_FD_FILE_NAME, v.fileName.c_str());
    SetDlgItemTextW(window_, IDC_FD_SOURCE, v.source.c_str());
    SetDlgItemTextW(window_, IDC_FD_HEADER, v.header.c_str());
    SetDlgItemTextW(window_, IDC_FD_FOOTER, v.footer.c_str());
    for (auto [button, id] : {std::pair{&open_, IDC_FD_OPEN}, {&save_, IDC_FD_SAVE}, {&cancel_, IDC_FD_CANCEL}})
        button->Bind(GetDlgItem(window_, id));

    // Bold before measuring: the header's lines are those of the bold font.
    boldFont_ = CreateDerivedFont(window_, kFontBold);
    if (boldFont_) SendDlgItemMessageW(window_, IDC_FD_HEADER, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()), TRUE);
    FitTexts();
    CentreOnOwner();

    CheckDlgButton(window_, IDC_FD_EDIT_MODE, state_.editChecked ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(window_, IDC_FD_SAVE), state_.saveEnabled);
    EnableWindow(GetDlgItem(window_, IDC_FD_EDIT_MODE), state_.editEnabled);

    const FileTypeInfo type = LookUpFileType(TypeLookupPattern(v.fileName));
    SetDlgItemTextW(window_, IDC_FD_TYPE, TypeAndSizeText(type.typeName, v.sizeText).c_str());
    icon_.reset(type.icon);
    if (icon_) SendDlgItemMessageW(window_, IDC_FD_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon_.get()), 0);
}

INT_PTR FileDownloadDialog::Handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            Initialise();
            if (onShown) onShown(*this, onShownContext);
            return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id == IDC_FD_EDIT_MODE && HIWORD(wParam) == BN_CLICKED) {
                state_ = AfterEditClicked(state_, IsDlgButtonChecked(window_, IDC_FD_EDIT_MODE) == BST_CHECKED);
                EnableWindow(GetDlgItem(window_, IDC_FD_SAVE), state_.saveEnabled);
                return TRUE;
            }
            // Escape arrives as the Cancel button's id.
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
