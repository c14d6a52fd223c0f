#include "levels/LevelLadders.h"

namespace lobbykit::levels {
namespace {

template <typename T, int N>
constexpr int CountOf(const T (&)[N])
{
    return N;
}

// Every table's thresholds must be strictly ascending, and a ladder has one title more
// than thresholds; both are checked at compile time.
template <int N>
constexpr bool Ascending(const std::int32_t (&t)[N])
{
    for (int i = 1; i < N; ++i)
        if (t[i - 1] >= t[i]) return false;
    return true;
}

// T[k] = scale * k * k for k = 0 .. N-1.
template <int N>
struct Squares {
    std::int32_t v[N];
    constexpr explicit Squares(std::int32_t scale) : v()
    {
        for (int k = 0; k < N; ++k) v[k] = scale * k * k;
    }
};

const char* const kMilitary[] = {
    "工兵",   "副班长", "正班长", "副排长", "正排长", "副连长", "正连长", "副营长", "正营长", "副团长", "正团长",
    "副旅长", "正旅长", "副师长", "正师长", "副军长", "正军长", "副司令", "正司令", "副元帅", "正元帅", "统帅",
};

const char* const kNobility[] = {
    "国王",     "摄政王",   "一等王",   "二等王",   "三等王",   "一等公爵", "二等公爵", "三等公爵",
    "一等候爵", "二等侯爵", "三等侯爵", "一等伯爵", "二等伯爵", "三等伯爵", "一等子爵", "二等子爵",
    "三等子爵", "一等男爵", "二等男爵", "三等男爵", "一等平民", "二等平民", "三等平民",
};

const char* const kExamination[] = {
    "大学士",   "状元",     "榜眼",     "探花",     "一等进士", "二等进士", "三等进士", "解元",
    "一等举人", "二等举人", "三等举人", "四等举人", "五等举人", "一等秀才", "二等秀才", "三等秀才",
    "四等秀才", "五等秀才", "一等童生", "二等童生", "三等童生", "四等童生", "五等童生",
};

constexpr std::int32_t kNobilityT[] = {
    30,   80,   160,  280,  450,   680,   980,   1360,  1830,  2400,  3880,
    4810, 5880, 7100, 8480, 10030, 11760, 13680, 15800, 18130, 20680, 23460,
};

const char* const kDan[] = {
    "棋圣",     "超一流",   "职业九段", "职业八段", "职业七段", "职业六段", "职业五段",
    "职业四段", "职业三段", "职业二段", "职业初段", "业余九段", "业余八段", "业余七段",
    "业余六段", "业余五段", "业余四段", "业余三段", "业余二段", "业余初段", "初学者",
};

constexpr std::int32_t kDanT[] = {
    30, 80, 160, 280, 450, 680, 980, 1360, 1830, 2400, 3880, 4810, 5880, 7200, 8780, 10530, 12460, 14680, 17200, 20130,
};

const char* const kBusiness[] = {
    "丐帮帮主", "丐帮长老", "乞丐",       "无业游民", "门卫",       "领班",   "大堂经理",
    "主管",     "执行助理", "部门经理",   "销售代表", "低级执行官", "执行官", "高级经理",
    "副总裁",   "总裁",     "首席执行官", "董事长",   "商业大亨",   "财阀",   "Zorb",
};

constexpr std::int32_t kBusinessT[] = {
    -2000, -1000, 0,     60,    200,   500,   1000,  2000,  3500,  5500,
    8000,  11000, 14500, 18500, 23500, 29000, 35000, 41500, 48500, 60000,
};

const char* const kCivilService[] = {
    "待业",     "科员",   "科长助理", "副科长", "第一副科",   "正科长", "处长助理", "副处长", "第一副处", "正处长",
    "局长助理", "副局长", "第一副局", "正局长", "厅长助理",   "副厅长", "第一副厅", "正厅长", "部长助理", "副部长",
    "第一副部", "正部长", "总理助理", "副总理", "第一副总理", "总理",   "副主席",   "主席",
};

constexpr std::int32_t kSteppedT[] = {
    0,     1000,  2000,  3000,  4000,  5000,   7000,   9000,   11000,  13000,  18000,  23000,  28000,  33000,
    43000, 53000, 63000, 73000, 88000, 103000, 118000, 133000, 200000, 250000, 300000, 350000, 500000,
};

constexpr std::int32_t kRisingT[] = {
    50,    100,   150,    250,    400,    650,    1150,   1800,    2950,    4750,    7700,    12450,   20150,    32600,
    52750, 85350, 138100, 223450, 361550, 585000, 946550, 1431550, 2378100, 3809650, 6187750, 9997400, 16185150,
};

const char* const kPeasant[] = {
    "一级乞丐", "二级乞丐", "三级乞丐", "一级贫农", "二级贫农", "三级贫农", "一级中农",
    "二级中农", "三级中农", "一级富农", "二级富农", "三级富农", "小地主",   "大地主",
    "保长",     "乡长",     "镇长",     "县长",     "县太爷",
};

// The two school ladders share their first twenty titles.
#define LOBBYKIT_SCHOOL_TITLES                                                                                  \
    "幼小班", "幼中班", "幼大班", "学前班", "一年级", "二年级", "三年级", "四年级", "五年级", "六年级", "初一", \
        "初二", "初三", "高一", "高二", "高三", "大一", "大二", "大三", "大四"

const char* const kSchoolAndBridge[] = {
    LOBBYKIT_SCHOOL_TITLES,
    "三级牌手",
    "二级牌手",
    "一级牌手",
    "桥牌大师",
    "终生大师",
    "特级大师",
    "国际大师",
    "世界大师",
    "大赛季军",
    "大赛亚军",
    "大赛冠军",
    "终生冠军",
};

const char* const kSchoolToLaureate[] = {
    LOBBYKIT_SCHOOL_TITLES, "研究生", "博士", "博士后", "院士", "诺贝尔",
};
#undef LOBBYKIT_SCHOOL_TITLES

const char* const kGambler[] = {
    "赌鬼",    "赌徒",    "赌民",    "赌棍",    "赌狂",    "赌豪",    "赌魔",    "赌侠",
    "圣.赌鬼", "圣.赌徒", "圣.赌民", "圣.赌棍", "圣.赌狂", "圣.赌豪", "圣.赌魔", "圣.赌侠",
    "神.赌豪", "神.赌魔", "神.赌侠", "仙.赌圣", "仙.赌神", "赌仙",
};

constexpr std::int32_t kGamblerT[] = {
    50,    100,   150,   250,   400,   650,    1050,   1700,   2750,   4450,    7200,
    11650, 18850, 30500, 49350, 79850, 129200, 209050, 338250, 547300, 1000000,
};

constexpr Squares<18> kPeasantT(100);
constexpr Squares<31> kSchoolAndBridgeT(20);
constexpr Squares<24> kSchoolToLaureateT(50);

static_assert(Ascending(kNobilityT) && Ascending(kDanT) && Ascending(kBusinessT) && Ascending(kSteppedT) &&
              Ascending(kRisingT) && Ascending(kGamblerT) && Ascending(kPeasantT.v) && Ascending(kSchoolAndBridgeT.v) &&
              Ascending(kSchoolToLaureateT.v));

#define LOBBYKIT_LADDER(rule, titles, t)                        \
    Ladder{Rule::rule, titles, CountOf(titles), t, CountOf(t)}; \
    static_assert(CountOf(titles) == CountOf(t) + 1, #titles " needs one title more than thresholds")

const Ladder kMilitaryLadder{Rule::SquareRoot, kMilitary, CountOf(kMilitary), nullptr, 0};
const Ladder kOfficerLadder{Rule::Graded, kOfficerRankNames, kOfficerRanks, nullptr, 0};
const Ladder kNobilityLadder = LOBBYKIT_LADDER(TopFirst, kNobility, kNobilityT);
const Ladder kExaminationLadder = LOBBYKIT_LADDER(TopFirst, kExamination, kNobilityT);
const Ladder kDanLadder = LOBBYKIT_LADDER(TopFirst, kDan, kDanT);
const Ladder kBusinessLadder = LOBBYKIT_LADDER(Downward, kBusiness, kBusinessT);
const Ladder kSteppedLadder = LOBBYKIT_LADDER(BottomFirst, kCivilService, kSteppedT);
const Ladder kRisingLadder = LOBBYKIT_LADDER(Downward, kCivilService, kRisingT);
const Ladder kPeasantLadder = LOBBYKIT_LADDER(BottomFirst, kPeasant, kPeasantT.v);
const Ladder kSchoolAndBridgeLadder = LOBBYKIT_LADDER(BottomFirst, kSchoolAndBridge, kSchoolAndBridgeT.v);
const Ladder kSchoolToLaureateLadder = LOBBYKIT_LADDER(BottomFirst, kSchoolToLaureate, kSchoolToLaureateT.v);
const Ladder kGamblerLadder = LOBBYKIT_LADDER(Downward, kGambler, kGamblerT);
#undef LOBBYKIT_LADDER

static_assert(CountOf(kMilitary) == 22);

}  // namespace

const char* const kOfficerRankNames[kOfficerRanks] = {
    "列兵", "少尉", "中尉", "上尉", "少校", "中校", "上校", "少将", "中将", "上将", "元帅", "统帅",
};
const std::int32_t kOfficerSteps[kOfficerRanks - 1] = {
    30, 60, 90, 120, 180, 240, 320, 470, 600, 800, 1200,
};

const Ladder* const kLadderByGameID[kMaxGameID + 1] = {
    &kOfficerLadder,           // 0
    &kOfficerLadder,           // 1
    &kDanLadder,               // 2
    &kExaminationLadder,       // 3
    &kDanLadder,               // 4
    &kMilitaryLadder,          // 5
    &kNobilityLadder,          // 6
    &kExaminationLadder,       // 7
    &kSchoolToLaureateLadder,  // 8
    &kRisingLadder,            // 9
    &kSteppedLadder,           // 10
    &kSchoolAndBridgeLadder,   // 11
    &kBusinessLadder,          // 12
    &kSteppedLadder,           // 13
    &kRisingLadder,            // 14
    &kPeasantLadder,           // 15
    &kGamblerLadder,           // 16
    &kGamblerLadder,           // 17
    nullptr,                   // 18
    nullptr,                   // 19
    &kMilitaryLadder,          // 20
};

}  // namespace lobbykit::levels
