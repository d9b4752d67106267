// The udev rule installed with the library covers the video and HID nodes of every USB
// model in the table, and carries the name the access errors tell the user to install.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "model/ModelTraits.h"
#include "platform/UsbPlatform.h"

namespace quorix {
namespace {

std::vector<std::string> RuleLines() {
    std::ifstream in(QUORIX_UDEV_RULES);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string Hex(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

bool Covers(const std::string& rule, const std::string& subsystem, uint16_t vendor,
            uint16_t product) {
    if (rule.find("SUBSYSTEM==\"" + subsystem + "\"") == std::string::npos ||
        rule.find("ATTRS{idVendor}==\"" + Hex(vendor) + "\"") == std::string::npos ||
        rule.find("TAG+=\"uaccess\"") == std::string::npos) {
        return false;
    }
    const size_t at = rule.find("ATTRS{idProduct}==\"");
    return at == std::string::npos || rule.substr(at).find(Hex(product)) != std::string::npos;
}

TEST(UdevRules, EveryUsbModelsNodesAreGivenToTheUser) {
    EXPECT_TRUE(std::string(QUORIX_UDEV_RULES).ends_with(platform::kUdevRuleName));
    const std::vector<std::string> rules = RuleLines();
    ASSERT_FALSE(rules.empty());
    for (const ModelTraits& model : Models()) {
        if (model.vendorId == 0) {
            continue;
        }
        for (const char* subsystem : {"video4linux", "hidraw"}) {
            bool covered = false;
            for (const std::string& rule : rules) {
                covered = covered || Covers(rule, subsystem, model.vendorId, model.productId);
            }
            EXPECT_TRUE(covered) << subsystem << " " << Hex(model.vendorId) << ":"
                                 << Hex(model.productId);
        }
    }
    // The transfer modes' HID interfaces too.
    for (uint16_t product : {kProductUpgrade, kProductJsonTransfer}) {
        bool covered = false;
        for (const std::string& rule : rules) {
            covered = covered || Covers(rule, "hidraw", kVendorQuorix, product);
        }
        EXPECT_TRUE(covered) << Hex(product);
    }
}

}  // namespace
}  // namespace quorix
