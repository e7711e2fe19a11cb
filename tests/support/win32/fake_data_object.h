#pragma once
// Dragged data as a drag source offers it: a shell file list, an object descriptor naming the source's type,
// or plain text; each format can be made to fail on GetData while still being offered.
#include <windows.h>
#include <ole2.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace qm::testing {

struct FakeFormat {
    CLIPFORMAT format;
    HGLOBAL data;          // owned by the data object
    bool getFails = false;
};

// A data object (one reference, held by the caller) offering the formats in order.
Microsoft::WRL::ComPtr<IDataObject> MakeFakeDataObject(std::vector<FakeFormat> formats);

// Format contents.
HGLOBAL MakeDropFilesData(const std::vector<std::wstring>& paths);
HGLOBAL MakeObjectDescriptorData(const std::wstring& fullUserTypeName, const std::wstring& source);
HGLOBAL MakeTextData(const std::wstring& text);
CLIPFORMAT ObjectDescriptorFormat();

}  // namespace qm::testing
