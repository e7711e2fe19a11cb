#pragma once
// The observer of a file post: records what it is told and cancels after a given number of pieces.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/file_store_client.h"

namespace qm::testing {

class FakePostObserver : public PostObserver {
public:
    std::vector<std::size_t> pieces;
    int opened = 0;
    int reads = 0;
    std::size_t cancelAfterPieces = SIZE_MAX;
    bool Cancelled() override { return pieces.size() >= cancelAfterPieces; }
    void Opened() override { ++opened; }
    void BeforeRead() override { ++reads; }
    void PieceSent(std::size_t bytes) override { pieces.push_back(bytes); }
};

}  // namespace qm::testing
