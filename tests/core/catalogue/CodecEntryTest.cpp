// An entry's rarely set texts keep a pointer's room but behave as strings:
// copies are their own, an empty text is no text, and they read and join
// as the strings they replaced.
#include "core/catalogue/CodecEntry.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace tarnel;

TEST(CodecEntry, RareTextsBehaveAsStrings) {
    TCodecEntry e;
    EXPECT_TRUE(e.Malformed.empty());
    EXPECT_EQ(e.Malformed.str(), "");
    EXPECT_EQ(e.Malformed.c_str()[0], '\0');

    e.Malformed = std::string("holds 2 texts");
    EXPECT_FALSE(e.Malformed.empty());
    EXPECT_EQ(e.Malformed.size(), 13u);
    EXPECT_EQ(e.Malformed.find("2 texts"), 6u);
    EXPECT_EQ(e.Malformed, "holds 2 texts");
    EXPECT_EQ("Entry " + e.Malformed + ".", "Entry holds 2 texts.");
    EXPECT_EQ(std::string("x: ") + e.Malformed, "x: holds 2 texts");
    std::ostringstream out;
    out << e.Malformed;
    EXPECT_EQ(out.str(), "holds 2 texts");

    // A copy is its own: changing one leaves the other.
    TCodecEntry copy = e;
    copy.Malformed = "changed";
    EXPECT_EQ(e.Malformed, "holds 2 texts");
    copy = e;
    EXPECT_EQ(copy.Malformed, "holds 2 texts");
    e.Malformed.clear();
    EXPECT_EQ(copy.Malformed, "holds 2 texts");

    // An empty text assigned is no text.
    copy.Malformed = std::string();
    EXPECT_TRUE(copy.Malformed.empty());
    copy.Problem.Text = "";
    EXPECT_TRUE(copy.Problem.Text.empty());

    // Moved, the text goes with the entry.
    e.ShadowedBy = "vidc.abcd";
    TCodecEntry moved = std::move(e);
    EXPECT_EQ(moved.ShadowedBy, "vidc.abcd");
    const std::string& read = moved.ShadowedBy;
    EXPECT_EQ(read, "vidc.abcd");
}
