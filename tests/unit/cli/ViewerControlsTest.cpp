// Tests of the viewer's control descriptions that need no camera.
#include "cli/ViewerControls.h"

#include <gtest/gtest.h>

namespace quorix::cli {
namespace {

// Camera texts (info lines, refusals) reach the page inside JSON: quotes, backslashes and
// control characters must not end the string or break the document.
TEST(ViewerControls, JsonTextEscapesWhatWouldEndTheString) {
    EXPECT_EQ(JsonText(""), "\"\"");
    EXPECT_EQ(JsonText("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonText(std::string("x\ny\tz\x01", 6)), "\"x y z \"");
    EXPECT_EQ(JsonText("fine 640x480"), "\"fine 640x480\"");
}

// A switch takes on or off only, and an unknown name is refused by name, before any call
// reaches the library (the handle here is not a camera's).
TEST(ViewerControls, BadNamesAndValuesAreRefusedBeforeTheLibraryIsAsked) {
    ControlResult r = ChangeControl(nullptr, 0, "spatial-filter", "1");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.text.find("expected on or off"), std::string::npos) << r.text;
    r = ChangeControl(nullptr, 0, "colour-on-depth", "ON");
    EXPECT_FALSE(r.ok);
    r = ChangeControl(nullptr, 0, "brightness", "3");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.text, "unknown setting brightness");
    r = ChangeControl(nullptr, 0, "threshold", "-1");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.text.find("threshold"), std::string::npos) << r.text;
}

}  // namespace
}  // namespace quorix::cli
