// Copies to and from a camera's drive, with a temporary folder as the drive: the copy is
// byte for byte, folders are made, and a copy that does not match what the image's header
// promised never stays on the drive.
#include "upgrade/DriveCopy.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/FirmwareFiles.h"
#include "support/TempDir.h"
#include "upgrade/FirmwareImage.h"

namespace quorix {
namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

class DriveCopy : public ::testing::Test {
protected:
    std::string Image(size_t size = 4096) {
        m_image = test::MakeImage({.size = size});
        return test::WriteImage(m_local / "fw.img", m_image);
    }
    uint32_t Sum() const {
        return ByteSum(m_image.data() + kFirmwareHeaderBytes,
                       m_image.size() - kFirmwareHeaderBytes);
    }
    test::TempDir m_local;
    test::TempDir m_drive;
    std::vector<uint8_t> m_image;
};

TEST_F(DriveCopy, FirmwareIsCopiedWholeUnderAndroidData) {
    const std::string image = Image(5000);  // not a whole number of blocks
    ASSERT_EQ(CopyFirmwareToDrive(image, m_drive.Path(), 5000, Sum()), 0);
    const std::string copy = test::ReadFile(m_drive / "Android/data/Firmware.img");
    EXPECT_EQ(copy, std::string(m_image.begin(), m_image.end()));
}

TEST_F(DriveCopy, ASizeOrChecksumMismatchLeavesNoCopy) {
    const std::string image = Image();
    // The image is not the size its header gave: not copied at all.
    EXPECT_EQ(CopyFirmwareToDrive(image, m_drive.Path(), 4095, Sum()), -1);
    EXPECT_FALSE(Exists(m_drive / "Android/data/Firmware.img"));
    // The copy's byte sum differs from the header's: the copy is deleted.
    EXPECT_EQ(CopyFirmwareToDrive(image, m_drive.Path(), 4096, Sum() + 1), -1);
    EXPECT_FALSE(Exists(m_drive / "Android/data/Firmware.img"));
    // Shorter than its header.
    test::WriteImage(m_local / "short.img", std::vector<uint8_t>(100, 1));
    EXPECT_EQ(CopyFirmwareToDrive(m_local / "short.img", m_drive.Path(), 100, 0), -1);
    EXPECT_FALSE(Exists(m_drive / "Android/data/Firmware.img"));
    EXPECT_EQ(CopyFirmwareToDrive(m_local / "none.img", m_drive.Path(), 4096, 0), -1);
    // A drive that cannot hold the folders.
    test::WriteFile(m_local / "not-a-folder", "x");
    EXPECT_EQ(CopyFirmwareToDrive(image, m_local / "not-a-folder", 4096, Sum()), -1);
}

TEST_F(DriveCopy, JsonGoesToTheDriveWithItsSizeAndSumAndComesBackFromIt) {
    const std::string text = "{\"a\": 1}";
    test::WriteFile(m_local / "new.json", text);
    uint32_t size = 0;
    uint32_t sum = 0;
    ASSERT_EQ(CopyJsonToDrive(m_local / "new.json", m_drive.Path(), size, sum), 0);
    EXPECT_EQ(test::ReadFile(m_drive / "Android/data/config.json"), text);
    EXPECT_EQ(size, text.size());
    EXPECT_EQ(sum, ByteSum(reinterpret_cast<const uint8_t*>(text.data()), text.size()));

    test::WriteFile(m_local / "empty.json", "");
    EXPECT_EQ(CopyJsonToDrive(m_local / "empty.json", m_drive.Path(), size, sum), -1);
    EXPECT_EQ(CopyJsonToDrive(m_local / "none.json", m_drive.Path(), size, sum), -1);

    EXPECT_EQ(CopyJsonToLocal(m_drive.Path(), m_local / "cfg"), -1);  // nothing to fetch
    test::WriteFile(m_drive / "Android/data/configOrig.json", "{\"orig\": 2}");
    ASSERT_EQ(CopyJsonToLocal(m_drive.Path(), m_local / "cfg"), 0);
    EXPECT_EQ(test::ReadFile(m_local / "cfg/config.json"), "{\"orig\": 2}");
}

}  // namespace
}  // namespace quorix
