// The model table holds together: each key names one row, a camera's traits agree with how
// it is reached, and keys outside the table find nothing.
#include "model/ModelTraits.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>

namespace quorix {
namespace {

TEST(ModelTable, EveryKeyFindsExactlyItsOwnRow) {
    std::set<uint32_t> types;
    std::set<std::string> names;
    std::set<std::string> iniFiles;
    std::set<uint8_t> kinds;
    std::set<std::pair<uint16_t, uint16_t>> usbIds;
    for (const ModelTraits& model : Models()) {
        SCOPED_TRACE(model.deviceType);
        EXPECT_TRUE(types.insert(model.deviceType).second);
        EXPECT_EQ(FindModel(model.deviceType), &model);
        EXPECT_EQ(&TraitsOf(model.deviceType), &model);
        if (model.name != nullptr) {
            EXPECT_TRUE(names.insert(model.name).second);
        }
        if (model.iniFile != nullptr) {
            EXPECT_TRUE(iniFiles.insert(model.iniFile).second);
        }
        if (model.announcementKind != 0) {
            EXPECT_TRUE(kinds.insert(model.announcementKind).second);
            EXPECT_EQ(FindModelByKind(model.announcementKind), &model);
        }
        if (model.vendorId != 0) {
            EXPECT_TRUE(usbIds.insert({model.vendorId, model.productId}).second);
            EXPECT_EQ(FindModelByUsbIds(model.vendorId, model.productId), &model);
        }
    }
}

TEST(ModelTable, HowACameraIsFoundAgreesWithItsLink) {
    for (const ModelTraits& model : Models()) {
        SCOPED_TRACE(model.deviceType);
        const bool network = model.linkType == kLinkNetwork;
        EXPECT_EQ(IsNetworkDeviceType(model.deviceType), network);
        // A network camera is known by its announcement and named in its URI "name:serial".
        EXPECT_EQ(model.announcementKind != 0, network);
        EXPECT_EQ(model.protocol == ProtocolKind::kSocket, network);
        if (network) {
            ASSERT_NE(model.name, nullptr);
            EXPECT_GT(strlen(model.name), 0u);
            EXPECT_EQ(strchr(model.name, ':'), nullptr);
            EXPECT_FALSE(model.dataModes.empty());  // what discovery gives every session
        }
        // Only cameras found over USB have ids, and only they can vanish from enumeration,
        // have an alias read over USB or be looked for by their HID interface.
        // Every USB camera goes from the list when unplugged, whatever its vendor.
        if (model.vendorId != 0) {
            EXPECT_EQ(model.linkType, +kLinkUsb);
            EXPECT_TRUE(model.vanishesFromEnumeration);
        } else {
            EXPECT_FALSE(model.readsAlias);
            EXPECT_FALSE(model.vanishesFromEnumeration);
            EXPECT_FALSE(model.companionRecheck);
        }
        // The session's data-mode list holds 32 codes.
        EXPECT_LE(model.fallbackDataModes.size(), 32u);
    }
}

TEST(ModelTable, KeysOutsideTheTableFindNothing) {
    for (uint32_t type : {0u, 445u, 999u}) {
        EXPECT_EQ(FindModel(type), nullptr) << type;
        EXPECT_FALSE(IsNetworkDeviceType(type)) << type;
    }
    // Rows without a kind or USB ids hold 0 there; 0 must still find nothing.
    for (uint8_t kind : {0, 3, 5, 11, 255}) {
        EXPECT_EQ(FindModelByKind(kind), nullptr) << int(kind);
    }
    EXPECT_EQ(FindModelByUsbIds(0, 0), nullptr);
    EXPECT_EQ(FindModelByUsbIds(kVendorQuorix, 0x0104), nullptr);  // an upgrade interface
    EXPECT_EQ(FindModelByUsbIds(0x1F5E2, 0x0103), nullptr);        // not cut to 16 bits

    // A type without a row has every trait off.
    const ModelTraits& none = TraitsOf(999);
    EXPECT_EQ(none.deviceType, 0u);
    EXPECT_EQ(none.name, nullptr);
    EXPECT_EQ(none.iniFile, nullptr);
    EXPECT_EQ(none.protocol, ProtocolKind::kNone);
    EXPECT_EQ(none.serialNumber, SerialSource::kNone);
    EXPECT_TRUE(none.fallbackDataModes.empty());
}

}  // namespace
}  // namespace quorix
