#pragma once
// The worker's services over the fakes, with files that exist both on the pretend disk and as posted bytes.
#include <string>

#include "control/page_script.h"
#include "support/fake_code_page.h"
#include "support/fake_file_system.h"
#include "support/fake_http_client.h"
#include "support/fake_http_request.h"
#include "support/fake_page_scripts.h"
#include "support/fake_posted_file_source.h"
#include "support/fake_system_text.h"
#include "support/fake_upload_runner.h"
#include "support/fake_user_dialogs.h"
#include "support/fake_xml_document.h"
#include "support/pattern_bytes.h"
#include "upload/upload_worker.h"

namespace qm::testing {

inline constexpr wchar_t kKeyA[] = L"0a1b2c3d-1111-2222-3333-444455556666";
inline constexpr wchar_t kKeyB[] = L"0a1b2c3d-1111-2222-3333-777788889999";
inline constexpr wchar_t kKeyC[] = L"0a1b2c3d-1111-2222-3333-aaaabbbbcccc";

inline std::string StoredReply(const std::string& ref) { return "<Response><Success FileRef=\"" + ref + "\"/></Response>"; }

struct UploadRig {
    FakeHttpClient server;
    FakePostedFiles posted;
    FakeFileSystem fs;
    FakeSystemText system;
    FakeUserDialogs dialogs;
    Latin1CodePage codePage;
    FakePageScripts page;
    double clock = 0;
    int pauses = 0;
    unsigned pausedMs = 0;
    UploadWorkerServices services{server,
                                  posted,
                                  fs,
                                  system,
                                  dialogs,
                                  codePage,
                                  [] { return std::make_unique<FakeXmlDocument>(); },
                                  [this] { return clock += 1.0 / 86400.0; },
                                  [this](unsigned ms) {
                                      ++pauses;
                                      pausedMs += ms;
                                  }};

    // A file on disk with these bytes and times.
    void AddFile(const std::wstring& path, const std::string& bytes) {
        FakeFile& f = fs.AddFile(path, bytes.size());
        f.crc = static_cast<std::uint32_t>(bytes.size() * 7 + 1);
        f.times = {130000000000000000ull, 130000000100000000ull};
        posted.files[path] = bytes;
    }
    std::shared_ptr<FakeHttpRequest> Reply(const std::string& body, const std::wstring& type = L"text/xml") {
        auto r = server.AddFile(body, type);
        return r;
    }
    // The dialog's script requests carried out as the UI thread does.
    void HandleRequests(FakeProgressDialog& dialog) {
        dialog.onRequest = [this](FakeProgressDialog& d) { HandleScriptRequest(d.Job(), page, fs); };
    }
};

inline std::wstring Header(const FakeHttpRequest& r, const std::wstring& name) {
    for (const auto& line : r.headerLines)
        if (line.compare(0, name.size(), name) == 0) return line.substr(name.size());
    return L"<absent>";
}

}  // namespace qm::testing
