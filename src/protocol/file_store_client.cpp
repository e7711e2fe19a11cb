#include "protocol/file_store_client.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "protocol/wire_text.h"

namespace qm {

namespace {

FileError SizeChangedError(const std::wstring& path) {
    return FileError(0, L"The size of \"" + path +
                            L"\" does not match the size announced to the server; the file was not sent.");
}

}  // namespace

void PostPieces::Written(std::size_t bytes, double start, double end) {
    if (sent_ == 0) first_ = start;
    sent_ += bytes;
    const double took = end - start;
    // The pace of the link so far, and of this write when it waited for the link.
    double size = static_cast<double>(sent_) / std::max(end - first_, kPostPaceSeconds) * kPostPieceSeconds;
    if (took > kPostPieceSeconds) size = std::min(size, static_cast<double>(bytes) * kPostPieceSeconds / took);
    // At most twice the last piece: a write the buffers took at once says little about the next one.
    size = std::min(size, 2.0 * static_cast<double>(bytes));
    const std::size_t whole = size >= static_cast<double>(kMaxPostPiece) ? kMaxPostPiece : static_cast<std::size_t>(size);
    next_ = std::max(kMinPostPiece, whole / kMinPostPiece * kMinPostPiece);
}

void SendGetFile(HttpRequest& request, const std::wstring& requestText) {
    request.AddRequestHeaders(kGetFileContentType);
    const std::string body = EncodeGetFileBody(requestText);
    request.BeginRequest(static_cast<std::uint32_t>(body.size()));
    if (!body.empty()) request.Write(body.data(), body.size());
    request.EndRequest();
}

PostResult SendFilePost(HttpRequest& request, PostedFileSource& files, const std::wstring& headerBlock,
                        const std::wstring& localPath, std::uint32_t fileSize, PostObserver& observer) {
    if (!headerBlock.empty()) request.AddRequestHeaders(headerBlock);
    std::unique_ptr<PostedFile> file = files.OpenExclusive(localPath);
    observer.Opened();
    if (observer.Cancelled()) return PostResult::Cancelled;
    request.BeginRequest(fileSize);
    PostPieces pieces;
    // A small file needs no large buffer; one byte more than announced shows a file that grew.
    const auto room = static_cast<std::size_t>(std::min<std::uint64_t>(kMaxPostPiece, std::uint64_t{fileSize} + 1));
    const std::unique_ptr<char[]> piece(new char[room]);
    std::uint64_t sent = 0;
    for (;;) {
        observer.BeforeRead();
        const std::size_t got = file->Read(piece.get(), std::min(pieces.Next(), room));
        if (observer.Cancelled()) return PostResult::Cancelled;
        if (got == 0) break;
        // Bytes beyond the announced length would be read by the server as the start of another request.
        if (sent + got > fileSize) throw SizeChangedError(localPath);
        const double start = observer.Seconds();
        request.Write(piece.get(), got);
        pieces.Written(got, start, observer.Seconds());
        sent += got;
        observer.PieceSent(got);
        if (observer.Cancelled()) return PostResult::Cancelled;
    }
    file.reset();
    // A short body would leave the server waiting for the rest.
    if (sent != fileSize) throw SizeChangedError(localPath);
    if (observer.Cancelled()) return PostResult::Cancelled;
    request.EndRequest();
    return PostResult::Sent;
}

ReplyKind ClassifyReply(HttpRequest& request) {
    std::wstring type = request.QueryContentType();
    std::transform(type.begin(), type.end(), type.begin(),
                   [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; });
    return type.find(L"binary/octet") != std::wstring::npos ? ReplyKind::FileData : ReplyKind::Text;
}

std::wstring ReadReplyText(HttpRequest& request, const CodePage& codePage, bool queryStatus,
                           const std::function<bool()>& stop) {
    const std::size_t available = request.QueryDataAvailable();
    if (queryStatus) static_cast<void>(request.QueryStatusCode());
    std::wstring text = request.QueryContentDescription().value_or(std::wstring());
    // The header counts against the same limit as the body: together they are the text a user may be shown.
    if (text.size() > kMaxReplyTextBytes) text.resize(kMaxReplyTextBytes);
    const std::size_t bodyLimit = kMaxReplyTextBytes - text.size();
    if (available == 0 || bodyLimit == 0) return text;
    // The body is converted once, so a multi-byte character is never split between two reads.
    std::string body;
    std::vector<char> buffer(std::min(available, bodyLimit));
    while (body.size() < bodyLimit) {
        // Never more than has arrived: a read of more waits until it is all there, and a reply that trickles
        // would hold the worker far past a Cancel.
        std::size_t room = std::min(buffer.size(), bodyLimit - body.size());
        const std::size_t arrived = request.QueryDataAvailable();
        if (arrived > 0) room = std::min(room, arrived);
        const std::size_t got = request.Read(buffer.data(), room);
        if (got == 0) break;
        body.append(buffer.data(), got);
        if (stop && stop()) break;
    }
    return text + codePage.FromAnsi(body);
}

}  // namespace qm
