// Made fault bodies: the pieces the server sends must join into exactly the planned body.
#include <gtest/gtest.h>

#include "faults.h"

using namespace filestore;

namespace {

Fault Named(const std::string& name, std::map<std::string, std::string> params = {}) {
  Fault f;
  f.name = name;
  f.params = std::move(params);
  return f;
}

std::string Joined(const MadeBody& b, std::size_t step) {
  std::string out;
  for (std::uint64_t at = 0;; at += step) {
    std::string p = b.Piece(at, step);
    if (p.empty()) break;
    out += p;
  }
  return out;
}

}  // namespace

TEST(MadeReply, PiecesJoinIntoHeadFillerTailAtAnyStep) {
  auto b = MadeReply(Named("huge-response", {{"size", "1000"}}));
  ASSERT_TRUE(b);
  for (std::size_t step : {1u, 7u, 24u, 4096u}) {
    std::string all = Joined(*b, step);
    ASSERT_EQ(all.size(), 1000u) << step;
    EXPECT_EQ(all.substr(0, b->head.size()), b->head);
    EXPECT_EQ(all.substr(all.size() - b->tail.size()), b->tail);
    EXPECT_EQ(all.substr(b->head.size(), b->filler.size()), b->filler);
    // The filler is cut where the tail starts, not where a whole repeat ends.
    EXPECT_EQ(all.find('"', b->head.size()), all.size() - b->tail.size()) << step;
  }
}

TEST(MadeReply, SizesBelowHeadAndTailStillCarryBoth) {
  auto b = MadeReply(Named("huge-html", {{"size", "3"}}));
  ASSERT_TRUE(b);
  EXPECT_EQ(Joined(*b, 5), b->head + b->tail);
  EXPECT_EQ(b->Piece(b->length, 10), "");
}

TEST(MadeReply, EndlessNeverEndsAndStartsWithItsHead) {
  auto b = MadeReply(Named("endless", {{"rate", "10"}, {"type", "binary/octet-stream"}}));
  ASSERT_TRUE(b);
  EXPECT_TRUE(b->endless);
  EXPECT_EQ(b->content_type, "binary/octet-stream");
  EXPECT_EQ(b->Piece(0, b->head.size()), b->head);
  EXPECT_EQ(b->Piece(std::uint64_t(1) << 40, 5).size(), 5u);
}

TEST(MadeReply, DocumentTypesNameTheirEntities) {
  auto ext = MadeReply(Named("doctype-external", {{"url", "http://127.0.0.1:4242/x"}}));
  ASSERT_TRUE(ext);
  EXPECT_NE(ext->head.find("<!ENTITY ext SYSTEM \"http://127.0.0.1:4242/x\">"), std::string::npos);
  EXPECT_EQ(Joined(*ext, 9), ext->head);
  auto bomb = MadeReply(Named("entity-bomb", {{"depth", "3"}}));
  ASSERT_TRUE(bomb);
  EXPECT_NE(bomb->head.find("<!ENTITY e3 \"&e2;&e2;&e2;&e2;&e2;&e2;&e2;&e2;&e2;&e2;\">"), std::string::npos);
  EXPECT_NE(bomb->head.find("Message=\"&e3;\""), std::string::npos);
  EXPECT_FALSE(MadeReply(Named("html")));
}

TEST(MadeReply, Validation) {
  EXPECT_EQ(ValidateFault(Named("entity-bomb", {{"depth", "12"}})), "");
  EXPECT_NE(ValidateFault(Named("entity-bomb", {{"depth", "0"}})), "");
  EXPECT_NE(ValidateFault(Named("entity-bomb", {{"depth", "99"}})), "");
  EXPECT_NE(ValidateFault(Named("huge-html", {{"size", "-5"}})), "");
  EXPECT_NE(ValidateFault(Named("endless", {{"rate", "0"}})), "");
  Fault f = Named("huge-response");
  EXPECT_TRUE(f.IsReply());
  EXPECT_EQ(ValidateFault(Named("redirect", {{"status", "307"}, {"to", "http://elsewhere/"}})), "");
  EXPECT_NE(ValidateFault(Named("redirect", {{"status", "200"}})), "") << "a redirect is a 3xx status";
  EXPECT_NE(ValidateFault(Named("redirect", {{"status", "404"}})), "");
  EXPECT_TRUE(Named("redirect").IsReply());
}
