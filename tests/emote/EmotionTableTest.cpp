// The vocabulary table and the text store: every keyword is found by its search, and the
// compiled texts keep the rules of the store and the quoted texts byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Emotion.h"
#include "Gbk.h"
#include "emote/EmotionTable.h"

namespace {

using lktest::Gbk;
using lobbykit::emote::FindEmotionCmd;
using lobbykit::emote::LoadEmotionText;

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

TEST(EmotionTableTest, EveryKeywordIsFoundAtItsRow)
{
    for (int r = 0; r < EMOTION_CMD_COUNT; ++r) {
        SCOPED_TRACE(g_emotionCmdTable[r].szCmd);
        EXPECT_EQ(FindEmotionCmd(g_emotionCmdTable[r].szCmd), r);
    }
}

TEST(EmotionTableTest, VerbsBetweenKeywordsAreNotFound)
{
    // Just above each keyword, just below the first and above the last: the bisection ends
    // without a match (and, under ASan, without reading outside the table).
    std::vector<std::string> verbs = {"A", "AAA", "ABR", "Z",    "ZZZZ", "ZZZ\x96", "M",     "@",
                                      "[", "5",   "!!",  "!!!!", "18M",  ":",       ":)...", "??"};
    for (int r = 0; r < EMOTION_CMD_COUNT; ++r) {
        const std::string kw = g_emotionCmdTable[r].szCmd;
        verbs.push_back(kw + "!");
        verbs.push_back(kw + "\xB0\xA1");
        if (kw.size() > 1) verbs.push_back(kw.substr(0, kw.size() - 1) + char(kw.back() - 1));
    }
    std::set<std::string> keywords;
    for (const EMOTION_CMD& row : g_emotionCmdTable) keywords.insert(row.szCmd);
    for (const std::string& v : verbs) {
        if (keywords.count(v)) continue;
        EXPECT_EQ(FindEmotionCmd(v.c_str()), -1) << v;
    }
}

TEST(EmotionTableTest, EveryKeywordWorksAsTypedInLowerCase)
{
    CGetEmotion e;
    for (const EMOTION_CMD& row : g_emotionCmdTable) {
        const std::string line = "/" + Lower(row.szCmd) + " tom";
        SCOPED_TRACE(line);
        char buf[1024];
        ASSERT_EQ(e.GetEmotion("amy", line.c_str(), buf), 1);
        EXPECT_EQ(e.IsLocalMessage(), 0);
        EXPECT_NE(std::string(buf).find("tom"), std::string::npos) << lktest::Utf8(buf);
    }
}

TEST(EmotionTableTest, TextIdsAreExactlyTheStoredOnes)
{
    const std::set<int> absent = {181, 352};
    for (int id = -1; id <= 659; ++id) {
        const bool expected = id >= 1 && id <= 657 && !absent.count(id);
        EXPECT_EQ(LoadEmotionText(id) != nullptr, expected) << id;
    }
    // Every row's three ids lie within the store, each id used by exactly one row.
    std::set<int> used;
    for (const EMOTION_CMD& row : g_emotionCmdTable)
        for (int k = 0; k < 3; ++k) EXPECT_TRUE(used.insert(row.nStrID + k).second) << row.szCmd;
    EXPECT_EQ(*used.begin(), 1);
    EXPECT_EQ(*used.rbegin(), 657);
}

TEST(EmotionTableTest, TextsKeepTheRulesOfTheStore)
{
    std::map<std::string, int> seen;
    for (int id = 1; id <= 657; ++id) {
        const char* text = LoadEmotionText(id);
        if (!text) continue;
        SCOPED_TRACE(id);
        const std::string t = text;
        EXPECT_LE(t.size(), 157u);
        EXPECT_NE(lktest::Utf8(t), "<not GBK>");
        if (id % 3 == 0) {
            EXPECT_NE(t.find('%'), std::string::npos) << "another player's text names nobody";
        }
        const auto dup = seen.emplace(t, id);
        EXPECT_TRUE(dup.second) << "same text as id " << dup.first->second;
    }
}

TEST(EmotionTableTest, QuotedTextsByteForByte)
{
    const std::map<int, std::string> quoted = {
        {1, "#使出吃奶的力气叫喊：“杀人啦！救命啊！”"},
        {2, "#对自己说：“看来只能自谋生路了！”"},
        {3, "#对%说：“嚷什么嚷？你这样的%，死了活该！”"},
        {7, "#露出难过的表情。"},
        {8, "#露出一丝难过的表情。"},
        {9, "#看着%，难过的要哭了。"},
        {105, "#对着%劝道：走路防跌，吃饭防噎，你别太招摇了，\n当心有一天栽在人家手里！"},
        {124, "#咽着口水色迷迷地挨个看着大家，哇，今天靓女好多。"},
        {121, "#怀着满腔热情寻思道：我该去安慰谁呢？"},
        {123,
         "#拿出一块皱巴巴的手绢仔细地替%擦拭着眼泪，左手拿着一把拨浪鼓在%面前摇啊摇，%"
         "瞪着天真的大眼睛望了半天，破涕为笑了。"},
        {272, "#对着镜子挤眉弄眼，一副爱上了自己的样子。\n"},
        {353, "#看着镜中自己的倩影，不由地感到脸上发烧——#发现已经爱上自己了！"},
    };
    for (const auto& [id, utf8] : quoted) {
        const char* text = LoadEmotionText(id);
        ASSERT_NE(text, nullptr) << id;
        EXPECT_EQ(std::string(text), Gbk(utf8)) << id << ": " << lktest::Utf8(text);
    }
}

}  // namespace
