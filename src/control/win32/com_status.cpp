#include "control/win32/com_status.h"

#include <exception>
#include <new>

#include "common/errors.h"
#include "ui/dialogs.h"
#include "ui/win32/dialogs_win32.h"

namespace qm {

HRESULT CaughtStatus() noexcept {
    try {
        try {
            throw;
        } catch (const Error& error) {
            ShowError(PlatformDialogs(), 0, error.text());
            return S_FALSE;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (const std::exception& error) {
            std::wstring text;
            for (const char* p = error.what(); *p; ++p) text.push_back(static_cast<unsigned char>(*p));
            ShowError(PlatformDialogs(), 0, CutErrorText(text));
            return S_FALSE;
        } catch (...) {
            ShowError(PlatformDialogs(), 0, L"An unexpected error occurred.");
            return S_FALSE;
        }
    } catch (...) {
        return E_FAIL;  // the box itself failed
    }
}

HRESULT CaughtStatusQuiet() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return S_FALSE;
    }
}

}  // namespace qm
