#pragma once
// How a worker reads a text reply: two ordered tables of conditions and outcomes, and the one function that reads them.
#include <span>
#include <string>

#include "protocol/protocol_document.h"

namespace qm {

enum class ReplyCondition {
    HasSuccess,     // the loaded document has Response/Success
    HasError,       // the loaded document has Response/Error
    TextNotEmpty,
    TextEmpty,
    ContainsHtml,   // the reply text contains "text/html"
    Always,
};

enum class ReplyBox { None, Message, Error };  // nothing, ShowMessage, ShowError

enum class ReplyShown {
    Nothing,
    ResponseMessage,  // GetResponseMessage
    WholeText,
    HtmlBody,         // from the first "<body" to the end, or the whole text
};

struct ReplyRule {
    ReplyCondition when;
    bool stored;  // success: GetFileRef gives the stored file's reference
    ReplyBox box;
    ReplyShown shown;
};

// A file post's reply (uploads and re-uploads).
inline constexpr ReplyRule kFilePostReplyRules[] = {
    {ReplyCondition::HasSuccess, true, ReplyBox::None, ReplyShown::Nothing},
    {ReplyCondition::HasError, false, ReplyBox::Error, ReplyShown::ResponseMessage},
    {ReplyCondition::TextNotEmpty, false, ReplyBox::Message, ReplyShown::WholeText},
    {ReplyCondition::TextEmpty, false, ReplyBox::None, ReplyShown::Nothing},
};

// A GetFile reply that carries no file data; every outcome is a failed download.
inline constexpr ReplyRule kGetFileReplyRules[] = {
    {ReplyCondition::ContainsHtml, false, ReplyBox::Message, ReplyShown::HtmlBody},
    {ReplyCondition::TextEmpty, false, ReplyBox::None, ReplyShown::Nothing},
    {ReplyCondition::HasError, false, ReplyBox::Message, ReplyShown::ResponseMessage},
    {ReplyCondition::Always, false, ReplyBox::Message, ReplyShown::WholeText},
};

// A box shows at most this much of a reply (a server may send a megabyte of text, which a box cannot show and
// takes a minute to lay out); what is cut is said at the end.
inline constexpr std::size_t kMaxShownReplyChars = 4096;
inline constexpr wchar_t kReplyCutNote[] = L"\r\n\r\n(The rest of the server's reply is not shown.)";

struct ReplyDecision {
    bool stored = false;
    std::wstring fileRef;              // when stored
    ReplyBox box = ReplyBox::None;     // None also when the text to show is empty
    std::wstring text;                 // what the box shows
};

// Goes down the table and takes the first row whose condition holds. The reply text is loaded into the
// document (LoadResponse) when the first row that asks about the document is reached, not before.
ReplyDecision DecideReply(std::span<const ReplyRule> rules, ProtocolDocument& document, const std::wstring& replyText);

}  // namespace qm
