#include "protocol/reply_rules.h"

#include <cstdint>

namespace qm {

namespace {

std::wstring HtmlBody(const std::wstring& text) {
    const std::size_t body = text.find(L"<body");
    return body == std::wstring::npos ? text : text.substr(body);
}

// Cuts a text to be shown at kMaxShownReplyChars, never between the two halves of a surrogate pair.
std::wstring Shown(std::wstring text) {
    if (text.size() <= kMaxShownReplyChars) return text;
    std::size_t keep = kMaxShownReplyChars;
    const auto c = static_cast<std::uint32_t>(text[keep - 1]);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF) --keep;
    text.resize(keep);
    return text + kReplyCutNote;
}

}  // namespace

ReplyDecision DecideReply(std::span<const ReplyRule> rules, ProtocolDocument& document, const std::wstring& replyText) {
    bool loaded = false;
    auto loadOnce = [&] {
        if (!loaded) document.LoadResponse(replyText);
        loaded = true;
    };
    for (const ReplyRule& rule : rules) {
        bool holds = false;
        switch (rule.when) {
            case ReplyCondition::HasSuccess: loadOnce(); holds = document.HasSuccessResponse(); break;
            case ReplyCondition::HasError: loadOnce(); holds = document.HasErrorResponse(); break;
            case ReplyCondition::TextNotEmpty: holds = !replyText.empty(); break;
            case ReplyCondition::TextEmpty: holds = replyText.empty(); break;
            case ReplyCondition::ContainsHtml: holds = replyText.find(L"text/html") != std::wstring::npos; break;
            case ReplyCondition::Always: holds = true; break;
        }
        if (!holds) continue;
        ReplyDecision decision;
        decision.stored = rule.stored;
        if (rule.stored) decision.fileRef = document.GetFileRef();
        switch (rule.shown) {
            case ReplyShown::Nothing: break;
            case ReplyShown::ResponseMessage: decision.text = document.GetResponseMessage(); break;
            case ReplyShown::WholeText: decision.text = replyText; break;
            case ReplyShown::HtmlBody: decision.text = HtmlBody(replyText); break;
        }
        decision.text = Shown(std::move(decision.text));
        decision.box = decision.text.empty() ? ReplyBox::None : rule.box;
        return decision;
    }
    return {};
}

}  // namespace qm
