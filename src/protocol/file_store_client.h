#pragma once
// The requests to the file-store endpoint and the reading of their replies, over the HTTP client port.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "common/errors.h"
#include "protocol/code_page.h"
#include "protocol/http_client.h"
#include "protocol/server_location.h"

namespace qm {

inline constexpr wchar_t kFileStoreObject[] = L"/system/filestore/data.aspx";
inline constexpr wchar_t kUserAgent[] = L"Quillmark 2.1.0.1";
inline constexpr wchar_t kHttpVersion[] = L"HTTP/1.1";
inline constexpr wchar_t kGetFileContentType[] = L"Content-Type: text/xml\r\n";

inline constexpr std::uint32_t kSessionFlags = 0x04000000u;     // no cache
inline constexpr std::uint32_t kConnectionFlags = 0x00200000u;  // no automatic redirect

// The HTTP client asks for the same request to be sent once more (typically after an authentication challenge).
inline constexpr std::uint32_t kForceRetryCode = 12032;
// A client that asks more often than this is failing, not authenticating; the error then ends the transfer.
inline constexpr int kMaxForcedRetries = 10;

// The pieces of a posted body. Each WinInet call costs tens of microseconds under Wine, so a fast link wants
// large pieces; a write waits until the link has taken its piece, so a slow link wants small ones, or a Cancel
// would wait for the write. bench/upload.sh measured the largest size: 256 MiB went in 2.5 s with 4 KiB pieces,
// 0.68 to 0.71 s with 64 KiB to 1 MiB, no better with 4 MiB; the smaller of the fast sizes waits least.
inline constexpr std::size_t kMinPostPiece = 4096;
inline constexpr std::size_t kMaxPostPiece = 256 * 1024;
// How long one write should take at most at the link's pace.
inline constexpr double kPostPieceSeconds = 0.1;
// The socket's buffers take the first bytes at once whatever the link: the pace counts over at least this long.
inline constexpr double kPostPaceSeconds = 2.0;
// A reply text is cut at this many bytes, so a broken server cannot exhaust the host's memory.
inline constexpr std::size_t kMaxReplyTextBytes = 1 << 20;

// Adds "Content-Type: text/xml" (when not there yet), then begins, writes and ends the request with the
// encoded body. Safe to call again on the same request when the client asks for a retry.
void SendGetFile(HttpRequest& request, const std::wstring& requestText);

// Chooses the size of each piece of a posted body from how fast the link took the pieces before it.
class PostPieces {
public:
    std::size_t Next() const { return next_; }
    // A piece of `bytes` was written from `start` to `end` (seconds on any one clock).
    void Written(std::size_t bytes, double start, double end);

private:
    std::size_t next_ = kMinPostPiece;
    double first_ = 0;
    std::uint64_t sent_ = 0;
};

// What the caller of a file post watches: cancellation checks and progress per piece.
class PostObserver {
public:
    virtual ~PostObserver() = default;
    virtual bool Cancelled() { return false; }
    // Seconds on a steady clock, to pace the pieces. Without one every write looks instant: pieces grow as
    // they would on a fast link.
    virtual double Seconds() { return 0.0; }
    // The local file has been opened; the body is about to begin.
    virtual void Opened() {}
    // Before each read from the local file.
    virtual void BeforeRead() {}
    // A piece has been written to the request.
    virtual void PieceSent(std::size_t /*bytes*/) {}
};

enum class PostResult { Sent, Cancelled };

// Adds the header block (when not there yet), opens the local file exclusively (qm::FileError when it cannot),
// begins the request with fileSize, sends the file in pieces sized by PostPieces, closes the file, ends the
// request.
// A file that no longer holds exactly fileSize bytes throws qm::FileError before the request is ended.
// On a cancel the file is closed and the request is not ended.
PostResult SendFilePost(HttpRequest& request, PostedFileSource& files, const std::wstring& headerBlock,
                        const std::wstring& localPath, std::uint32_t fileSize, PostObserver& observer);

// Runs attempt() again while the HTTP client answers with the force-retry code (at most kMaxForcedRetries
// times); beforeRetry() runs before each repeat. Any other error, and the last force-retry, propagate.
template <class Attempt, class BeforeRetry>
auto RetryRequest(Attempt&& attempt, BeforeRetry&& beforeRetry) -> decltype(attempt()) {
    for (int retries = 0;; ++retries) {
        try {
            return attempt();
        } catch (const InternetError& error) {
            if (error.code() != kForceRetryCode || retries >= kMaxForcedRetries) throw;
        }
        beforeRetry();
    }
}

template <class Attempt>
auto RetryRequest(Attempt&& attempt) -> decltype(attempt()) {
    return RetryRequest(std::forward<Attempt>(attempt), [] {});
}

enum class ReplyKind { FileData, Text };

// File data when the lower-cased content type contains "binary/octet".
ReplyKind ClassifyReply(HttpRequest& request);

// The Content-Description value, then the body from the ANSI code page; the two together are cut at
// kMaxReplyTextBytes.
// queryStatus: file posts ask for the status code as well (its value decides nothing).
// stop: asked after every read; when it says so, the text read so far is returned. A reply may trickle on
// without end, and a cancelled worker must not stay behind reading it.
std::wstring ReadReplyText(HttpRequest& request, const CodePage& codePage, bool queryStatus = false,
                           const std::function<bool()>& stop = {});

}  // namespace qm
