#include "emote/EmotionTable.h"

// Keyword order matters twice: rows 8-218 are bisected, and the help pages list the rows in
// this order, cut at rows 54, 108 and 162. Rows 40 and 41 carry each other's ids.
constexpr EMOTION_CMD g_emotionCmdTable[EMOTION_CMD_COUNT] = {
    {"!!!", 1},         {"18MO", 4},       {":(", 7},         {":)", 10},        {":)..", 13},        // 0
    {":D", 16},         {":P", 19},        {"?", 22},         {"ABS", 25},       {"ADDOIL", 28},      // 5
    {"ADMIRE", 31},     {"AGREE", 34},     {"AH", 37},        {"AI", 40},        {"AN", 43},          // 10
    {"ANGRY", 46},      {"ANNIV", 49},     {"APPLAUD", 52},   {"BABY", 55},      {"BESTEMOTE", 58},   // 15
    {"BF", 61},         {"BI", 64},        {"BITE", 67},      {"BLUSH", 70},     {"BORED", 73},       // 20
    {"BOSHI", 76},      {"BOW", 79},       {"BRAG", 82},      {"BROTHER", 85},   {"BUDDHI", 88},      // 25
    {"BYE", 91},        {"BYEBYE", 94},    {"CALLNAME", 97},  {"CAN", 100},      {"CAREFUL", 103},    // 30
    {"CAXIE", 106},     {"CHE", 109},      {"CHI", 112},      {"CLAP", 115},     {"CLUB", 118},       // 35
    {"COLORLOOK", 124}, {"COMFORT", 121},  {"COOK", 127},     {"COOL", 130},     {"COUNTSCAR", 133},  // 40
    {"COURAGE", 136},   {"CRAZY", 139},    {"CRY", 142},      {"CU", 145},       {"CUO", 148},        // 45
    {"CUT", 151},       {"DANCE", 154},    {"DI", 157},       {"DIE", 160},      {"DISAPP", 163},     // 50
    {"DOUBT", 166},     {"DRINK", 169},    {"DRUG", 172},     {"DRUNK", 175},    {"DUNNO", 178},      // 55
    {"ENVY", 181},      {"ESCAPE", 184},   {"FAINT", 187},    {"FANG", 190},     {"FEAR", 193},       // 60
    {"FIND", 196},      {"FLY", 199},      {"FOOL", 202},     {"FORGIVE", 205},  {"GF", 208},         // 65
    {"GFSCAR", 211},    {"GONGXI", 214},   {"GOODBYE", 217},  {"GOODKID", 220},  {"GRPFIGHT", 223},   // 70
    {"GUA", 226},       {"GUI", 229},      {"GUN", 232},      {"HAHA", 235},     {"HAMMER", 238},     // 75
    {"HAND", 241},      {"HAO", 244},      {"HAPPY", 247},    {"HATE", 250},     {"HEHE", 253},       // 80
    {"HEIHEI", 256},    {"HELPME", 259},   {"HENG", 262},     {"HERO", 265},     {"HI", 268},         // 85
    {"HMM", 271},       {"HOG", 274},      {"HUA", 277},      {"HUG", 280},      {"HUMBLE", 283},     // 90
    {"IDIOT", 286},     {"INNOCENT", 289}, {"INTEREST", 292}, {"JIA", 295},      {"JUMP", 298},       // 95
    {"KAN", 301},       {"KICK", 304},     {"KISS", 307},     {"KNIFE", 310},    {"KOK", 313},        // 100
    {"KONGLONG", 316},  {"KUANG", 319},    {"KUQI", 322},     {"LA", 325},       {"LAG", 328},        // 105
    {"LAUGH", 331},     {"LAZY", 334},     {"LIAO", 337},     {"LICK", 340},     {"LINK", 343},       // 110
    {"LIUMANG", 346},   {"LOV", 349},      {"LOVE", 352},     {"LOVELOOK", 355}, {"MA", 358},         // 115
    {"MAKEUP", 361},    {"MAPI", 364},     {"MEETING", 367},  {"MO", 370},       {"MONEY", 373},      // 120
    {"MONKEY", 376},    {"NOCLOTH", 379},  {"NOD", 382},      {"NOMATCH", 385},  {"NONO", 388},       // 125
    {"NONSENSE", 391},  {"NOWAY", 394},    {"OATH", 397},     {"PAI", 400},      {"PAIN", 403},       // 130
    {"PAO", 406},       {"PAPAYA", 409},   {"PAT", 412},      {"PEI", 415},      {"PIG", 418},        // 135
    {"POEM", 421},      {"POEM2", 424},    {"POKE", 427},     {"POOR", 430},     {"PRAISE", 433},     // 140
    {"PROTECT", 436},   {"PUKE", 439},     {"QI", 442},       {"QMARRY", 445},   {"RA", 448},         // 145
    {"RASCAL", 451},    {"REDLAMP1", 454}, {"REDLAMP2", 457}, {"REDLAMP3", 460}, {"REDLAMP4", 463},   // 150
    {"ROB", 466},       {"ROSE", 469},     {"ROU", 472},      {"RUMOR", 475},    {"SADLOOK", 478},    // 155
    {"SEDUCE", 481},    {"SELL", 484},     {"SHAJIAB", 487},  {"SHAKE", 490},    {"SHAMELESS", 493},  // 160
    {"SHOUT", 496},     {"SHOWSCAR", 499}, {"SHRUG", 502},    {"SHUTUP", 505},   {"SHY", 508},        // 165
    {"SICKSAY", 511},   {"SIGH", 514},     {"SING", 517},     {"SISTER", 520},   {"SLAP", 523},       // 170
    {"SLAP2", 526},     {"SLAPSB", 529},   {"SLOGAN", 532},   {"SLOGAN2", 535},  {"SLOGAN3", 538},    // 175
    {"SMASH", 541},     {"SMELL", 544},    {"SMILE", 547},    {"SMIRK", 550},    {"SNEER", 553},      // 180
    {"SOB", 556},       {"SORRY", 559},    {"STARE", 562},    {"STORY", 565},    {"STUFF", 568},      // 185
    {"SUAN", 571},      {"SYSOP", 574},    {"TASTE", 577},    {"TENDER", 580},   {"THANK", 583},      // 190
    {"TOUCH", 586},     {"TRIP", 589},     {"VISIT", 592},    {"WAIT", 595},     {"WAKE", 598},       // 195
    {"WALKBY", 601},    {"WANFU", 604},    {"WATER", 607},    {"WELCOME", 610},  {"WIZARD", 613},     // 200
    {"WRONG", 616},     {"XIAOAO", 619},   {"XIN", 622},      {"XIXI", 625},     {"XU", 628},         // 205
    {"YANGZR1", 631},   {"YANGZR2", 634},  {"YANGZR3", 637},  {"YANGZR4", 640},  {"YAWN", 643},       // 210
    {"YI", 646},        {"YIZI", 649},     {"ZOU", 652},      {"ZZZ", 655},                           // 215
};

namespace lobbykit::emote {
namespace {

constexpr int Compare(const char* a, const char* b)
{
    while (*a != '\0' && *a == *b) ++a, ++b;
    return int(static_cast<unsigned char>(*a)) - int(static_cast<unsigned char>(*b));
}

constexpr bool LetterRowsAscend()
{
    for (int r = kFirstLetterRow; r + 1 < EMOTION_CMD_COUNT; ++r)
        if (Compare(g_emotionCmdTable[r].szCmd, g_emotionCmdTable[r + 1].szCmd) >= 0) return false;
    return true;
}

constexpr bool RowsBeginAsSearched()
{
    for (int r = 0; r < EMOTION_CMD_COUNT; ++r) {
        const char c = g_emotionCmdTable[r].szCmd[0];
        if ((c >= 'A' && c <= 'Z') != (r >= kFirstLetterRow)) return false;
    }
    return true;
}

// Three ids per keyword in row order, except that COLORLOOK and COMFORT swap theirs.
constexpr int ExpectedID(int r) { return r == 40 ? 124 : r == 41 ? 121 : 3 * r + 1; }

constexpr bool IdsAsAssigned()
{
    for (int r = 0; r < EMOTION_CMD_COUNT; ++r)
        if (g_emotionCmdTable[r].nStrID != ExpectedID(r)) return false;
    return Compare(g_emotionCmdTable[40].szCmd, "COLORLOOK") == 0 && Compare(g_emotionCmdTable[41].szCmd, "COMFORT") == 0;
}

static_assert(LetterRowsAscend(), "rows 8-218 must be strictly ascending for the bisection");
static_assert(RowsBeginAsSearched(), "rows 0-7 must be the non-letter keywords, 8-218 the letter ones");
static_assert(IdsAsAssigned(), "text ids: 3 * row + 1, rows 40 and 41 exchanged");
static_assert(3 * EMOTION_CMD_COUNT + 1 == kEmotionTextSlots, "one text slot per id");

// Bisection over rows 8-218 as the vocabulary has always been searched: low/high bound the
// rows still possible, each round narrows from above and then from below.
int Bisect(const char* szVerb)
{
    int low = kFirstLetterRow;
    int high = EMOTION_CMD_COUNT;
    int mid = (low + high) / 2;
    for (;;) {
        if (Compare(szVerb, g_emotionCmdTable[mid].szCmd) < 0) {
            high = mid;
            mid = (low + high) / 2;
        }
        if (Compare(szVerb, g_emotionCmdTable[mid].szCmd) > 0) {
            low = mid;
            mid = (low + high) / 2;
        }
        if (Compare(szVerb, g_emotionCmdTable[mid].szCmd) == 0) return mid;
        if (low == mid || high == mid) return -1;
    }
}

}  // namespace

// Byte order: for these ASCII keywords it is the order of whole characters too, since every
// GBK lead byte sorts after every ASCII byte.
int FindEmotionCmd(const char* szVerb)
{
    if (szVerb[0] >= 'A' && szVerb[0] <= 'Z') return Bisect(szVerb);
    for (int r = 0; r < kFirstLetterRow; ++r)
        if (Compare(szVerb, g_emotionCmdTable[r].szCmd) == 0) return r;
    return -1;
}

const char* LoadEmotionText(int nID)
{
    if (nID <= 0 || nID >= kEmotionTextSlots) return nullptr;
    const char* text = g_emotionTexts[nID];
    return (text && text[0] != '\0') ? text : nullptr;
}

}  // namespace lobbykit::emote
