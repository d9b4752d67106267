// Copies to and from a transfer-mode camera's removable drive.
#include "upgrade/DriveCopy.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "log/Log.h"
#include "upgrade/FirmwareImage.h"

namespace quorix {
namespace {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::string& path) {
    if (IsDirectory(path)) {
        return true;
    }
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        QLOG("%s CreateDirectory failed ECode:%d.\n", path.c_str(), errno);
    }
    if (!IsDirectory(path)) {
        QLOG("%s IsDirectoryExist failed ECode:%d.\n", path.c_str(), errno);
        return false;
    }
    return true;
}

long FileLength(FILE* file) {
    fseek(file, 0, SEEK_END);
    const long length = ftell(file);
    fseek(file, 0, SEEK_SET);
    return length;
}

}  // namespace

bool ReadTransferFile(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* in = fopen(path.c_str(), "rb");
    if (in == nullptr) {
        QLOG("open %s failed. ECode:%d\n", path.c_str(), errno);
        return false;
    }
    uint8_t block[4096];
    size_t got;
    while ((got = fread(block, 1, sizeof block, in)) > 0) {
        bytes.insert(bytes.end(), block, block + got);
    }
    fclose(in);
    if (bytes.empty()) {
        QLOG("read IMG_HEAD failed:%d\n", 0);
        return false;
    }
    return true;
}

std::string DriveDataFolder(const std::string& root) {
    const std::string android = root + "/Android";
    const std::string data = android + "/data";
    return MakeDirectory(android) && MakeDirectory(data) ? data : std::string();
}

int32_t CopyFirmwareToDrive(const std::string& image, const std::string& root, uint32_t size,
                            uint32_t checksum) {
    FILE* in = fopen(image.c_str(), "rb");
    if (in == nullptr) {
        QLOG("open %s failed.\n", image.c_str());
        return -1;
    }
    const long length = FileLength(in);
    if (length != static_cast<long>(size)) {
        QLOG("%s size is notmatch(%d,%d).\n", image.c_str(), static_cast<int>(length),
             static_cast<int>(size));
        fclose(in);
        return -1;
    }
    const std::string folder = DriveDataFolder(root);
    if (folder.empty()) {
        fclose(in);
        return -1;
    }
    QLOG("copy begin\n");
    const std::string dest = folder + "/Firmware.img";
    FILE* out = fopen(dest.c_str(), "wb");
    if (out == nullptr) {
        QLOG("create %s ECode:%d failed.\n", dest.c_str(), errno);
        fclose(in);
        return -1;
    }
    uint8_t block[kFirmwareHeaderBytes];
    size_t got = fread(block, 1, sizeof block, in);
    bool ok = got == sizeof block;
    if (!ok) {
        QLOG("read IMG_HEAD failed:%d\n", static_cast<int>(got));
    }
    uint32_t copiedSize = 0;
    uint32_t copiedSum = 0;
    bool header = true;
    while (ok && got > 0) {
        if (fwrite(block, 1, got, out) != got) {
            QLOG("fwrite ECode:%d %s\n", errno, strerror(errno));
            ok = false;
            break;
        }
        copiedSize += static_cast<uint32_t>(got);
        if (!header) {
            copiedSum = ByteSum(block, got, copiedSum);
        }
        header = false;
        got = fread(block, 1, sizeof block, in);
    }
    fclose(in);
    ok = fclose(out) == 0 && ok;
    QLOG("copy end\n");
    if (!ok || copiedSize != size || copiedSum != checksum) {
        QLOG("destPath:%s pUpgradeParams(%d, %d), copy(%d, %d)\n", dest.c_str(),
             static_cast<int>(size), static_cast<int>(checksum), static_cast<int>(copiedSize),
             static_cast<int>(copiedSum));
        remove(dest.c_str());
        return -1;
    }
    return 0;
}

int32_t CopyJsonToDrive(const std::string& file, const std::string& root, uint32_t& size,
                        uint32_t& checksum) {
    std::vector<uint8_t> bytes;
    if (!ReadTransferFile(file, bytes)) {
        return -1;
    }
    size = static_cast<uint32_t>(bytes.size());
    checksum = ByteSum(bytes.data(), bytes.size());
    const std::string folder = DriveDataFolder(root);
    if (folder.empty()) {
        return -1;
    }
    QLOG("copy begin\n");
    const std::string dest = folder + "/config.json";
    FILE* out = fopen(dest.c_str(), "wb");
    if (out == nullptr) {
        QLOG("create %s ECode:%d failed.\n", dest.c_str(), errno);
        return -1;
    }
    size_t written = fwrite(bytes.data(), 1, bytes.size(), out);
    if (written != bytes.size()) {
        QLOG("fwrite ECode:%d %s\n", errno, strerror(errno));
    }
    if (fclose(out) != 0) {
        written = 0;
    }
    QLOG("copy end\n");
    if (written != bytes.size()) {
        QLOG("destPath:%s pUpgradeParams(%d, %d), copy(%d, %d)\n", dest.c_str(),
             static_cast<int>(size), static_cast<int>(checksum), static_cast<int>(written), 0);
        return -1;
    }
    return 0;
}

int32_t CopyJsonToLocal(const std::string& root, const std::string& folder) {
    std::vector<uint8_t> bytes;
    if (!ReadTransferFile(root + "/Android/data/configOrig.json", bytes)) {
        return -1;
    }
    if (!MakeDirectory(folder)) {
        QLOG("create %s ECode:%d failed.\n", folder.c_str(), errno);
        return -1;
    }
    const std::string dest = folder + "/config.json";
    FILE* out = fopen(dest.c_str(), "wb");
    if (out == nullptr) {
        QLOG("create %s ECode:%d failed.\n", dest.c_str(), errno);
        return -1;
    }
    const bool written = fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (!written) {
        QLOG("fwrite is Failed, ECode:%d %s\n", errno, strerror(errno));
    }
    return fclose(out) == 0 && written ? 0 : -1;
}

}  // namespace quorix
