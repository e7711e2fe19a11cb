#pragma once
// The mail client's selection, scripted by the test.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dragdrop/mail_drop.h"

namespace qm::testing {

struct FakeMail {
    std::optional<std::wstring> subject;  // nothing: the subject cannot be read
    bool isMail = true;
    bool saveFails = false;
};

// Hands out a selection of the prepared items, or none; records every save.
class FakeMailClient : public MailClient {
public:
    std::vector<FakeMail> items;
    bool hasSelection = true;
    // Items added to the selection once the first save has happened (the user selecting more meanwhile).
    std::vector<FakeMail> addedAfterFirstSave;
    std::vector<std::wstring> saved;

    std::unique_ptr<MailSelection> ActiveSelection() override {
        if (!hasSelection) return nullptr;
        return std::make_unique<Selection>(*this);
    }

private:
    class Item : public MailItem {
    public:
        Item(FakeMailClient& client, FakeMail mail) : client_(client), mail_(std::move(mail)) {}
        bool IsMail() override { return mail_.isMail; }
        std::optional<std::wstring> Subject() override { return mail_.subject; }
        bool SaveAs(const std::wstring& path) override {
            if (mail_.saveFails) return false;
            client_.saved.push_back(path);
            if (client_.saved.size() == 1)
                for (auto& more : client_.addedAfterFirstSave) client_.items.push_back(more);
            return true;
        }

    private:
        FakeMailClient& client_;
        FakeMail mail_;
    };
    class Selection : public MailSelection {
    public:
        explicit Selection(FakeMailClient& client) : client_(client) {}
        std::optional<long> Count() override { return static_cast<long>(client_.items.size()); }
        std::unique_ptr<MailItem> Item(long index) override {
            if (index < 1 || index > static_cast<long>(client_.items.size())) return nullptr;
            return std::make_unique<FakeMailClient::Item>(client_, client_.items[static_cast<std::size_t>(index - 1)]);
        }

    private:
        FakeMailClient& client_;
    };
};

}  // namespace qm::testing
