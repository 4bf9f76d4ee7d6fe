//===- TokeniserTest.cpp - Quoting and empty-token rules of the tokenisers ===//
#include <ktutil/KtUStringTokeniser.h>
#include <ktutil/KtUWideStringTokeniser.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class TokeniserTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUWideStringTokeniser::Initialise();
        ASSERT_TRUE(KtUStringTokeniser::IsInitialised());
    }
    void TearDown() override { KtUWideStringTokeniser::Terminate(); }
};

std::vector<std::string> All(KtUStringTokeniser t) {
    std::vector<std::string> tokens;
    for (int guard = 0; t.MoreTokens() && guard < 100; ++guard) {
        KtUStringBuffer token = t.NextToken();
        EXPECT_FALSE(token.IsNull());
        tokens.push_back(token.GetString() ? token.GetString() : "<null>");
    }
    return tokens;
}

using V = std::vector<std::string>;

TEST_F(TokeniserTest, QuotesGroupTextAndStayInTheToken) {
    KtUStringTokeniser t("a \"b c\"");
    ASSERT_TRUE(t.MoreTokens());
    EXPECT_EQ(V({"a", "\"b c\""}), All(t));
    EXPECT_EQ(V({"'a \"b'", "c"}), All(KtUStringTokeniser("'a \"b' c"))); // only ' closes '
    EXPECT_EQ(V({"x`y z`w", "v"}), All(KtUStringTokeniser("x`y z`w v")));
    EXPECT_EQ(V({"a", "\"b c"}), All(KtUStringTokeniser("a \"b c"))); // open to the end
    EXPECT_EQ(V({"\"b", "c\""}), All(KtUStringTokeniser("\"b c\"", " ", 0, 0, "\"")));
    EXPECT_EQ(V({"[a b[", "c"}), All(KtUStringTokeniser("[a b[ c", " ", 0, 1, "[")));
    EXPECT_EQ(V({"\"a", "b\""}), All(KtUStringTokeniser("\"a b\"", " ", 0, 1, nullptr)));
}

TEST_F(TokeniserTest, DelimitersAndEmptyTokens) {
    EXPECT_EQ(V({"a", "b"}), All(KtUStringTokeniser(" \t a \r\n\f b  ")));
    EXPECT_EQ(V({"a", "b"}), All(KtUStringTokeniser(",,a,,b,", ",")));
    EXPECT_EQ(V({"a", "", "b"}), All(KtUStringTokeniser("a,,b", ",", 1, 0, "")));
    EXPECT_EQ(V({"", "a", ""}), All(KtUStringTokeniser(",a,", ",", 1, 0, "")));
    EXPECT_EQ(V({""}), All(KtUStringTokeniser("", ",", 1, 0, "")));
    EXPECT_EQ(V({"\"a,b\"", ""}), All(KtUStringTokeniser("\"a,b\",", ",", 1, 1, "\"")));
    EXPECT_EQ(V{}, All(KtUStringTokeniser("")));
    EXPECT_EQ(V{}, All(KtUStringTokeniser(nullptr)));
    EXPECT_EQ(V{}, All(KtUStringTokeniser(" \t ")));
    EXPECT_EQ(V({"a b"}), All(KtUStringTokeniser("a b", nullptr)));

    KtUStringTokeniser done(" ");
    EXPECT_FALSE(done.MoreTokens());
    KtUStringBuffer none = done.NextToken();
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_FALSE(none.IsNull());
}

TEST_F(TokeniserTest, CopiesKeepTheirOwnPosition) {
    KtUStringTokeniser a("one two three");
    EXPECT_STREQ("one", a.NextToken().GetString());
    KtUStringTokeniser b(a);
    EXPECT_STREQ("two", a.NextToken().GetString());
    EXPECT_STREQ("two", b.NextToken().GetString());
    KtUStringTokeniser c("x,y", ",", 1, 0, "");
    c = a;
    EXPECT_STREQ("three", c.NextToken().GetString());
    EXPECT_FALSE(c.MoreTokens());
    EXPECT_TRUE(a.MoreTokens());
    auto* heap = new KtUStringTokeniser(a);
    EXPECT_STREQ("three", heap->NextToken().GetString());
    delete heap;
}

TEST_F(TokeniserTest, WideTokeniserFollowsTheSameRules) {
    KtUWideStringTokeniser t(u"\u00E9t\u00E9 \u201Cx\u201C \"b c\"", u" ", 0, 1, u"\"\u201C");
    std::u16string tokens;
    while (t.MoreTokens())
        tokens += std::u16string(t.NextToken().GetString()) + u"|";
    EXPECT_EQ(u"\u00E9t\u00E9|\u201Cx\u201C|\"b c\"|", tokens);
    KtUWideStringTokeniser e(u"a;;", u";", 1, 0, u"");
    tokens.clear();
    while (e.MoreTokens())
        tokens += std::u16string(e.NextToken().GetString()) + u"|";
    EXPECT_EQ(u"a|||", tokens);
    KtUWideStringTokeniser d(u"  a 'b c'");
    EXPECT_EQ(std::u16string(u"a"), d.NextToken().GetString());
    EXPECT_EQ(std::u16string(u"'b c'"), d.NextToken().GetString());
}

} // namespace
