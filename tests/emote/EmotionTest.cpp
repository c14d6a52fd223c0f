// The emote interpreter through its public interface: replies, local flags, remembered names,
// help pages, cuts at the byte limits and GBK names whose trail bytes look like ASCII.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Emotion.h"
#include "Gbk.h"

namespace {

using lktest::Gbk;

struct Reply {
    int result;
    std::string text;
    int local;
};

// Runs one line with a reply buffer of exactly 1,024 bytes (ASan builds catch any write past
// it) and checks the reply is terminated within it.
Reply Say(CGetEmotion& e, const std::string& name, const std::string& line)
{
    std::vector<char> buf(1024, '\x7F');
    const int result = e.GetEmotion(name.c_str(), line.c_str(), buf.data());
    Reply r{result, {}, e.IsLocalMessage()};
    if (result == 1) {
        const void* nul = std::memchr(buf.data(), '\0', buf.size());
        EXPECT_NE(nul, nullptr) << "reply not terminated within 1,024 bytes";
        if (nul) r.text.assign(buf.data(), std::size_t(static_cast<const char*>(nul) - buf.data()));
    } else {
        EXPECT_EQ(std::string(buf.begin(), buf.end()), std::string(1024, '\x7F'))
            << "a call that returned 0 wrote the reply buffer";
    }
    return r;
}

std::string Error(const std::string& cmd) { return Gbk("***抱歉，看不懂你的意思:") + cmd + "***"; }

const std::string kHelpIndex =
    Gbk("帮助命令，输入 /1、/2、/3、/4了解更多信息:\n"
        "/1:显示第一屏命令\n"
        "/2:显示第二屏命令\n"
        "/3:显示第三屏命令\n"
        "/4:显示第四屏命令\n");

const std::string kPageHeader = Gbk("【动词 + 对方名字 或 自己名字 或 空白 】例：/love tom \n");

const std::string kPages[4] = {
    kPageHeader +
        "!!!\t18mo\t:(\t:)\t:)..\n"
        ":d\t:p\t?\tabs\taddoil\n"
        "admire\tagree\tah\tai\tan\n"
        "angry\tanniv\tapplaud\tbaby\tbestemote\n"
        "bf\tbi\tbite\tblush\tbored\n"
        "boshi\tbow\tbrag\tbrother\tbuddhi\n"
        "bye\tbyebye\tcallname\tcan\tcareful\n"
        "caxie\tche\tchi\tclap\tclub\n"
        "colorlook\tcomfort\tcook\tcool\tcountscar\n"
        "courage\tcrazy\tcry\tcu\tcuo\n"
        "cut\tdance\tdi\tdie\t",
    kPageHeader +
        "disapp\tdoubt\tdrink\tdrug\tdrunk\n"
        "dunno\tenvy\tescape\tfaint\tfang\n"
        "fear\tfind\tfly\tfool\tforgive\n"
        "gf\tgfscar\tgongxi\tgoodbye\tgoodkid\n"
        "grpfight\tgua\tgui\tgun\thaha\n"
        "hammer\thand\thao\thappy\thate\n"
        "hehe\theihei\thelpme\theng\thero\n"
        "hi\thmm\thog\thua\thug\n"
        "humble\tidiot\tinnocent\tinterest\tjia\n"
        "jump\tkan\tkick\tkiss\tknife\n"
        "kok\tkonglong\tkuang\tkuqi\t",
    kPageHeader +
        "la\tlag\tlaugh\tlazy\tliao\n"
        "lick\tlink\tliumang\tlov\tlove\n"
        "lovelook\tma\tmakeup\tmapi\tmeeting\n"
        "mo\tmoney\tmonkey\tnocloth\tnod\n"
        "nomatch\tnono\tnonsense\tnoway\toath\n"
        "pai\tpain\tpao\tpapaya\tpat\n"
        "pei\tpig\tpoem\tpoem2\tpoke\n"
        "poor\tpraise\tprotect\tpuke\tqi\n"
        "qmarry\tra\trascal\tredlamp1\tredlamp2\n"
        "redlamp3\tredlamp4\trob\trose\trou\n"
        "rumor\tsadlook\tseduce\tsell\t",
    kPageHeader +
        "shajiab\tshake\tshameless\tshout\tshowscar\n"
        "shrug\tshutup\tshy\tsicksay\tsigh\n"
        "sing\tsister\tslap\tslap2\tslapsb\n"
        "slogan\tslogan2\tslogan3\tsmash\tsmell\n"
        "smile\tsmirk\tsneer\tsob\tsorry\n"
        "stare\tstory\tstuff\tsuan\tsysop\n"
        "taste\ttender\tthank\ttouch\ttrip\n"
        "visit\twait\twake\twalkby\twanfu\n"
        "water\twelcome\twizard\twrong\txiaoao\n"
        "xin\txixi\txu\tyangzr1\tyangzr2\n"
        "yangzr3\tyangzr4\tyawn\tyi\tyizi\n"
        "zou\tzzz\t",
};

// Row 0's three texts with the names filled in.
std::string Shout(const std::string& me) { return me + Gbk("使出吃奶的力气叫喊：“杀人啦！救命啊！”"); }
std::string ShoutSelf(const std::string& me) { return me + Gbk("对自己说：“看来只能自谋生路了！”"); }
std::string ShoutAt(const std::string& me, const std::string& you)
{
    return me + Gbk("对") + you + Gbk("说：“嚷什么嚷？你这样的") + you + Gbk("，死了活该！”");
}

struct LineCase {
    const char* what;
    std::string speaker;
    std::string line;
    std::string reply;
    int local;
};

void RunLines(const std::vector<LineCase>& cases)
{
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.what);
        CGetEmotion e;
        const Reply r = Say(e, c.speaker, c.line);
        EXPECT_EQ(r.result, 1);
        EXPECT_EQ(r.text, c.reply) << lktest::Utf8(r.text);
        EXPECT_EQ(r.local, c.local);
    }
}

TEST(EmotionTest, WorkedExampleWithAmyAndTom)
{
    CGetEmotion e;
    EXPECT_EQ(Say(e, "amy", "/!!!").text, Gbk("amy使出吃奶的力气叫喊：“杀人啦！救命啊！”"));
    EXPECT_EQ(Say(e, "amy", "/!!! amy").text, Gbk("amy对自己说：“看来只能自谋生路了！”"));
    EXPECT_EQ(Say(e, "amy", "/!!! tom").text, Gbk("amy对tom说：“嚷什么嚷？你这样的tom，死了活该！”"));
    EXPECT_EQ(e.IsLocalMessage(), 0);
}

TEST(EmotionTest, ChatHelpAndErrorLines)
{
    RunLines({
        {"plain chat", "amy", "hello", "hello", 0},
        {"plain chat, trimmed", "amy", "  hello  ", "hello", 0},
        {"chat keeps inner white space and case", "amy", "\tHi  there\r\n", "Hi  there", 0},
        {"slash alone", "amy", "/", "/", 0},
        {"slash with trailing blanks", "amy", "/   ", "/", 0},
        {"help", "amy", "/help", kHelpIndex, 1},
        {"HELP", "amy", "/HELP", kHelpIndex, 1},
        {"Help", "amy", "/Help", kHelpIndex, 1},
        {"help with a target", "amy", "/help tom", Error("/help tom"), 1},
        {"help ending in a control byte names an empty target", "amy", "/help\x01", kHelpIndex, 1},
        {"page 2", "amy", "/2", kPages[1], 1},
        {"page 3", "amy", "/3", kPages[2], 1},
        {"page with a target", "amy", "/3 tom", Error("/3 tom"), 1},
        {"page 5 is no page and no verb", "amy", "/5", Error("/5"), 1},
        {"page 12 is no page", "amy", "/12", Error("/12"), 1},
        {"empty verb", "amy", "/ tom", Error("/ tom"), 1},
        {"unknown verb", "amy", "/frobnicate", Error("/frobnicate"), 1},
        {"unknown verb keeps the typed case", "amy", "/FrOb Tom", Error("/FrOb Tom"), 1},
        {"chinese verb", "amy", Gbk("/爱 tom"), Error(Gbk("/爱 tom")), 1},
        {"control byte as verb keeps the byte", "amy", "/\x01love", Error("/\x01love"), 1},
        // Trailing white space goes before control bytes become spaces, so one may remain.
        {"control bytes become spaces", "amy",
         "/ab\x02"
         "cd\x1f",
         Error("/ab cd "), 1},
        {"untargeted text absent", "amy", "/love", Error("/love"), 1},
        {"untargeted text absent (envy)", "amy", "/envy", Error("/envy"), 1},
        {"verb sorted between two keywords", "amy", "/lovf tom", Error("/lovf tom"), 1},
        {"verb above the last keyword", "amy", "/zzzz", Error("/zzzz"), 1},
        {"non-letter verb not in rows 0-7", "amy", "/:x", Error("/:x"), 1},
    });
}

TEST(EmotionTest, FormsAndTargets)
{
    RunLines({
        {"speaker names himself", "tom", "/!!! tom", ShoutSelf("tom"), 0},
        {"the name compares case-sensitively", "tom", "/!!! Tom", ShoutAt("tom", "Tom"), 0},
        {"another speaker", "amy", "/!!! tom", ShoutAt("amy", "tom"), 0},
        {"verb in any case", "amy", "/ColorLook", Gbk("amy咽着口水色迷迷地挨个看着大家，哇，今天靓女好多。"), 0},
        {"target with spaces", "amy", "/!!! tom lee", ShoutAt("amy", "tom lee"), 0},
        {"blanks before the target", "amy", "/!!!    tom", ShoutAt("amy", "tom"), 0},
        {"tab between verb and target", "amy", "/!!!\ttom", ShoutAt("amy", "tom"), 0},
        {"trailing control byte: empty other target", "amy", "/!!!\x01", ShoutAt("amy", ""), 0},
        {"target cut to 31 bytes", "amy", "/!!! " + std::string(40, 't'), ShoutAt("amy", std::string(31, 't')), 0},
        {"ids exchanged: colorlook", "amy", "/colorlook", Gbk("amy咽着口水色迷迷地挨个看着大家，哇，今天靓女好多。"), 0},
        {"ids exchanged: comfort", "amy", "/comfort", Gbk("amy怀着满腔热情寻思道：我该去安慰谁呢？"), 0},
        {"comfort someone, target three times", "amy", "/comfort tom",
         Gbk("amy拿出一块皱巴巴的手绢仔细地替tom擦拭着眼泪，左手拿着一把拨浪鼓在tom面前摇啊摇，"
             "tom瞪着天真的大眼睛望了半天，破涕为笑了。"),
         0},
        {"line break inside a text", "amy", "/careful tom",
         Gbk("amy对着tom劝道：走路防跌，吃饭防噎，你别太招摇了，\n当心有一天栽在人家手里！"), 0},
        {"final line break removed", "tom", "/hmm tom", Gbk("tom对着镜子挤眉弄眼，一副爱上了自己的样子。"), 0},
        {"self form of love", "amy", "/love amy",
         Gbk("amy看着镜中自己的倩影，不由地感到脸上发烧——amy发现已经爱上自己了！"), 0},
        {"speaker name with a percent sign", "a%b", "/!!! tom", ShoutAt("atomb", "tom"), 0},
        {"speaker name with a hash sign", "a#b", "/!!!", Shout("a#b"), 0},
        {"frowns", "amy", "/:( tom", Gbk("amy看着tom，难过的要哭了。"), 0},
    });
}

TEST(EmotionTest, RememberedTarget)
{
    CGetEmotion e;
    // "%" in the speaker's name shows the remembered target; none is remembered yet.
    EXPECT_EQ(Say(e, "a%b", "/!!!").text, Shout("ab"));
    // An unknown verb with a target still remembers the target.
    EXPECT_EQ(Say(e, "a%b", "/nosuch tom").text, Error("/nosuch tom"));
    EXPECT_EQ(Say(e, "a%b", "/!!!").text, Shout("atomb"));
    // Naming oneself, or nobody, leaves it.
    EXPECT_EQ(Say(e, "a%b", "/!!! a%b").text, ShoutSelf("atomb"));
    // Help with a target (an error) replaces it.
    EXPECT_EQ(Say(e, "a%b", "/help lee").text, Error("/help lee"));
    EXPECT_EQ(Say(e, "a%b", "/!!!").text, Shout("aleeb"));
    // So does an empty target, and it is never cleared otherwise.
    EXPECT_EQ(Say(e, "a%b", "/!!!\x01").text, ShoutAt("ab", ""));
    EXPECT_EQ(Say(e, "a%b", "hello").text, "hello");
    EXPECT_EQ(Say(e, "a%b", "/!!!").text, Shout("ab"));
}

TEST(EmotionTest, SpeakerName)
{
    CGetEmotion e;
    std::vector<char> untouched(1024, 'u');
    // No name known: 0 and nothing written.
    EXPECT_EQ(Say(e, "", "/!!!").result, 0);
    // A name given with a line that then fails is still stored.
    EXPECT_EQ(Say(e, "bob", "   \t ").result, 0);
    EXPECT_EQ(Say(e, "", "/!!!").text, Shout("bob"));
    // Null keeps it too.
    EXPECT_EQ(e.GetEmotion(nullptr, "/!!!", untouched.data()), 1);
    EXPECT_EQ(std::string(untouched.data()), Shout("bob"));

    e.SetMyName(nullptr);
    EXPECT_EQ(Say(e, "", "/!!!").text, Shout("bob"));
    e.SetMyName("sue");
    EXPECT_EQ(Say(e, "", "/!!!").text, Shout("sue"));
    e.SetMyName(std::string(40, 's').c_str());
    EXPECT_EQ(Say(e, "", "/!!!").text, Shout(std::string(31, 's')));
    e.SetMyName("");
    EXPECT_EQ(Say(e, "", "/!!!").result, 0);
}

TEST(EmotionTest, ZeroResultsLeaveTheLocalFlag)
{
    CGetEmotion e;
    ASSERT_EQ(Say(e, "amy", "/help").local, 1);
    char buf[1024];
    EXPECT_EQ(e.GetEmotion("amy", nullptr, buf), 0);
    EXPECT_EQ(e.GetEmotion("amy", "/!!!", nullptr), 0);
    EXPECT_EQ(Say(e, "amy", " \r\n").result, 0);
    EXPECT_EQ(e.IsLocalMessage(), 1);
    EXPECT_EQ(Say(e, "amy", "/!!!").local, 0);
}

TEST(EmotionTest, ReplyMayOverwriteItsInputs)
{
    // A host that reads the typed line and the speaker's name from the reply buffer.
    CGetEmotion e;
    char buf[1024] = "/!!! tom";
    ASSERT_EQ(e.GetEmotion("amy", buf, buf), 1);
    EXPECT_EQ(std::string(buf), ShoutAt("amy", "tom"));
    std::strcpy(buf, "bob");
    ASSERT_EQ(e.GetEmotion(buf, "/!!!", buf), 1);
    EXPECT_EQ(std::string(buf), Shout("bob"));
}

TEST(EmotionTest, CopiesCarryBothNames)
{
    CGetEmotion a;
    Say(a, "a%b", "/!!! tom");
    const CGetEmotion copy(a);
    CGetEmotion assigned;
    assigned = a;
    Say(a, "zed", "/!!! lee");  // the copies do not follow the original
    for (const CGetEmotion* c : {&copy, static_cast<const CGetEmotion*>(&assigned)}) {
        CGetEmotion e(*c);
        EXPECT_EQ(Say(e, "", "/!!!").text, Shout("atomb"));
    }
}

TEST(EmotionTest, HelpPagesOneAndFourByteForByte)
{
    CGetEmotion e;
    const Reply one = Say(e, "amy", "/1");
    EXPECT_EQ(one.text, kPages[0]) << lktest::Utf8(one.text);
    EXPECT_EQ(one.local, 1);
    const Reply four = Say(e, "amy", "/4");
    EXPECT_EQ(four.text, kPages[3]) << lktest::Utf8(four.text);
    EXPECT_EQ(four.local, 1);
}

// --- byte limits ----------------------------------------------------------------------------

TEST(EmotionTest, LongCommandIsCutTo1024Bytes)
{
    CGetEmotion e;
    // Plain chat: 2,000 bytes come back as the first 1,023 (the reply bound).
    std::string line;
    for (int i = 0; i < 2000; ++i) line += char('a' + i % 26);
    EXPECT_EQ(Say(e, "amy", line).text, line.substr(0, 1023));
    // The cut happens after leading blanks are removed.
    EXPECT_EQ(Say(e, "amy", std::string(500, ' ') + line).text, line.substr(0, 1023));

    // The target lies past the 1,024th byte: the blanks before it are trailing white space of
    // the cut command, so it names nobody.
    const std::string beyond = "/!!!" + std::string(1020, ' ') + "tom";
    EXPECT_EQ(Say(e, "amy", beyond).text, Shout("amy"));
    // Byte 1,024 is the first of the target: the target is one byte.
    const std::string edge = "/!!!" + std::string(1019, ' ') + "tom";
    EXPECT_EQ(Say(e, "amy", edge).text, ShoutAt("amy", "t"));

    // An error reply of a long command is cut to 1,023 bytes.
    const Reply err = Say(e, "amy", "/x" + line);
    EXPECT_EQ(err.text, Error("/x" + line).substr(0, 1023));
    EXPECT_EQ(err.local, 1);
}

// Traditional characters whose GBK trail byte is an ASCII character.
const std::string kEast = Gbk("東");     // 96 7C '|'
const std::string kShallow = Gbk("淺");  // 9C 5C '\'
const std::string kSwing = Gbk("擺");    // 94 5B '['
const std::string kThis = Gbk("這");     // DF 40 '@'
const std::string kCode = Gbk("碼");     // B4 61 'a'
const std::string kChina = Gbk("華");    // C8 41 'A'

TEST(EmotionTest, CutsNeverSplitACharacter)
{
    CGetEmotion e;
    std::string east8;
    for (int i = 0; i < 8; ++i) east8 += kEast;

    // A 31-byte cut of a name would end inside 東: 30 bytes are kept.
    EXPECT_EQ(Say(e, std::string(30, 'x') + kEast, "/!!!").text, Shout(std::string(30, 'x')));
    EXPECT_EQ(Say(e, "amy", "/!!! " + std::string(30, 'y') + kEast).text, ShoutAt("amy", std::string(30, 'y')));
    // 31 bytes that end on a whole character are kept whole.
    EXPECT_EQ(Say(e, std::string(29, 'x') + kShallow, "/!!!").text, Shout(std::string(29, 'x') + kShallow));

    // The 1,024th byte of the command is the lead byte of 東: the cut keeps 1,023 bytes, so
    // the target ends in whole characters (four of them) and no stray lead byte swallows the
    // text after the name.
    const std::string cmd = "/!!!" + std::string(1011, ' ') + east8;
    ASSERT_EQ(cmd.compare(1015, 2, kEast), 0);
    ASSERT_EQ(cmd.compare(1023, 2, kEast), 0);
    const std::string east4 = kEast + kEast + kEast + kEast;
    EXPECT_EQ(Say(e, "amy", cmd).text, ShoutAt("amy", east4));

    // The reply's 1,023rd byte would be the lead byte of 東: the reply keeps 1,022.
    const std::size_t nPrefix = Error("").size() - 3;
    const std::string verb = nPrefix % 2 == 0 ? "/q" : "/qq";
    std::string many;
    for (int i = 0; i < 600; ++i) many += kEast;
    const Reply r = Say(e, "amy", verb + many);
    ASSERT_EQ((nPrefix + verb.size()) % 2, 0u);  // 東 starts on even reply offsets
    EXPECT_EQ(r.text.size(), 1022u);
    EXPECT_EQ(r.text, Error(verb + many).substr(0, 1022));
}

TEST(EmotionTest, AsciiLikeTrailBytesAreNotSplitCutCasedOrTrimmed)
{
    const std::string speaker = kEast + kShallow + kSwing + kThis + kCode;  // | \ [ @ a
    const std::string target = kChina + kCode + kEast;                      // A a |
    RunLines({
        {"speaker and target come through whole", speaker, "/!!! " + target, ShoutAt(speaker, target), 0},
        {"the target is not upper-cased with the verb", speaker, "/:( " + kCode,
         speaker + Gbk("看着") + kCode + Gbk("，难过的要哭了。"), 0},
        {"self form found by exact bytes", speaker, "/!!! " + speaker, ShoutSelf(speaker), 0},
        {"chat trimmed around them", speaker, " \t" + kCode + kShallow + " \r\n", kCode + kShallow, 0},
        {"error reply echoes them", speaker, "/zz " + kCode + kSwing, Error("/zz " + kCode + kSwing), 1},
        {"a verb of ascii and chinese is not found", speaker, "/a" + kCode, Error("/a" + kCode), 1},
    });
}

#if defined(LOBBYKIT_TRACE)
TEST(EmotionTest, TracesTheQuotedMessages)
{
    struct Case {
        std::string name, line, trace;
    };
    const Case cases[] = {
        {"", "/!!!", "Warning : CChatClient::GetEmotion() : sName is empty\n"},
        {"amy", " \t", "Warning : CChatClient::GetEmotion() : szEmotionCmd is empty\n"},
        {"amy", "/love", "Can not find string : 352\n"},
        {"amy", "/envy", "Can not find string : 181\n"},
    };
    for (const Case& c : cases) {
        CGetEmotion e;
        char buf[1024];
        testing::internal::CaptureStderr();
        e.GetEmotion(c.name.c_str(), c.line.c_str(), buf);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.trace);
    }
}
#endif

}  // namespace
