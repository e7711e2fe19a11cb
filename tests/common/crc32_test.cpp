#include "common/crc32.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace qm {
namespace {

std::vector<unsigned char> RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<unsigned char> bytes(size);
    for (auto& b : bytes) b = static_cast<unsigned char>(random());
    return bytes;
}

TEST(Crc32, CheckValueOfTheDigits) {
    EXPECT_EQ(Crc32Table("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32Bytes("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32Table("", 0), 0u);
    EXPECT_EQ(Crc32Bytes("", 0), 0u);
}

TEST(Crc32, ZlibAgreesWithTheTableAlgorithmOnRandomData) {
    unsigned seed = 1;
    for (std::size_t size : {1u, 2u, 3u, 7u, 8u, 31u, 1023u, 1024u, 1025u, 65536u, 3u * 1024 * 1024 + 7}) {
        const auto bytes = RandomBytes(size, seed++);
        EXPECT_EQ(Crc32Bytes(bytes.data(), bytes.size()), Crc32Table(bytes.data(), bytes.size())) << size;
    }
}

TEST(Crc32, ContinuesARunningValue) {
    const auto bytes = RandomBytes(10000, 99);
    const std::uint32_t whole = Crc32Table(bytes.data(), bytes.size());
    EXPECT_EQ(Crc32Table(bytes.data() + 4000, 6000, Crc32Table(bytes.data(), 4000)), whole);
    EXPECT_EQ(Crc32Bytes(bytes.data() + 1, 9999, Crc32Bytes(bytes.data(), 1)), whole);
}

class Crc32OfFileTest : public ::testing::Test {
protected:
    std::filesystem::path Write(const std::string& name, const std::vector<unsigned char>& bytes) {
        const auto path = folder_ / std::filesystem::u8path(name);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    }
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("qm-crc-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::filesystem::path folder_;
};

TEST_F(Crc32OfFileTest, MatchesTheTableAcrossReadPieces) {
    for (std::size_t size : {1u, 9u, 1u << 20, (1u << 20) + 13, 3u * (1u << 20) - 1}) {
        const auto bytes = RandomBytes(size, static_cast<unsigned>(size));
        EXPECT_EQ(Crc32OfFile(Write("f.bin", bytes)), Crc32Table(bytes.data(), bytes.size())) << size;
    }
}

TEST_F(Crc32OfFileTest, DigitsEmptyAndMissingFiles) {
    const std::string digits = "123456789";
    EXPECT_EQ(Crc32OfFile(Write("report.txt", {digits.begin(), digits.end()})), 0xCBF43926u);
    EXPECT_EQ(Crc32OfFile(Write("empty.txt", {})), 0u);
    EXPECT_EQ(Crc32OfFile(folder_ / "missing.txt"), 0u);
    EXPECT_EQ(Crc32OfFile(folder_), 0u) << "a folder is no file";
}

TEST_F(Crc32OfFileTest, ReadsANameOutsideTheAnsiCodePage) {
    const std::string digits = "123456789";
    EXPECT_EQ(Crc32OfFile(Write("\xE4\xB8\xAD\xE6\x96\x87.txt", {digits.begin(), digits.end()})), 0xCBF43926u);
}

}  // namespace
}  // namespace qm
