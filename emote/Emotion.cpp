#include "Emotion.h"

#include <cstring>

#include "afxtrace.h"
#include "emote/EmotionTable.h"

using lobbykit::emote::FindEmotionCmd;
using lobbykit::emote::LoadEmotionText;

namespace {

constexpr int kNameMax = 31;       // bytes of a name, before its NUL
constexpr int kCommandMax = 1024;  // bytes of a command that are interpreted
constexpr int kReplyMax = 1023;    // bytes of a reply, before its NUL

// Which of a keyword's three texts: added to its id.
enum Form { kUntargeted = 0, kSelf = 1, kOther = 2 };

const char kHelpIndex[] =
    "帮助命令，输入 /1、/2、/3、/4了解更多信息:\n"
    "/1:显示第一屏命令\n"
    "/2:显示第二屏命令\n"
    "/3:显示第三屏命令\n"
    "/4:显示第四屏命令\n";
const char kHelpHeader[] = "【动词 + 对方名字 或 自己名字 或 空白 】例：/love tom \n";
const char kErrorPrefix[] = "***抱歉，看不懂你的意思:";
const char kErrorSuffix[] = "***";

// The rows each help page lists: page p shows rows kPageStart[p - 1] to kPageStart[p] - 1.
constexpr int kPageStart[] = {0, 54, 108, 162, EMOTION_CMD_COUNT};
constexpr int kPages = 4;
constexpr int kKeywordsPerLine = 5;

// Copies the name into a 32-byte member: at most 31 bytes, never half a character.
void CopyName(char (&szDest)[kNameMax + 1], const char* psz)
{
    const int n = AfxCharPrefix(psz, kNameMax);
    std::memcpy(szDest, psz, std::size_t(n));
    szDest[n] = '\0';
}

CString HelpPage(int nPage)
{
    const int first = kPageStart[nPage - 1];
    const int end = kPageStart[nPage];
    const int nHeader = int(sizeof kHelpHeader) - 1;
    int nLength = nHeader;
    for (int r = first; r < end; ++r) nLength += int(std::strlen(g_emotionCmdTable[r].szCmd)) + 1;

    CString page;
    char* out = page.GetBuffer(nLength);
    std::memcpy(out, kHelpHeader, std::size_t(nHeader));
    out += nHeader;
    for (int r = first; r < end; ++r) {
        // Keywords are ASCII.
        for (const char* kw = g_emotionCmdTable[r].szCmd; *kw; ++kw) *out++ = AfxToLower(*kw);
        *out++ = ((r - first + 1) % kKeywordsPerLine == 0) ? '\n' : '\t';
    }
    page.ReleaseBuffer(nLength);
    return page;
}

// Replaces every placeholder c of text by szName, scanning text once (an inserted name is not
// scanned again). Like a loop that takes text apart at each c, it leaves in text only what
// followed the last c (all of it if there was none). CString::Find steps over double-byte
// characters.
CString Substitute(CString& text, char c, const char* szName)
{
    int nCount = 0;
    int nLast = -1;
    for (int i = text.Find(c); i >= 0; i = text.Find(c, i + 1)) {
        ++nCount;
        nLast = i;
    }
    if (nCount == 0) return text;

    const char* p = text;
    const int nText = text.GetLength();
    const int nName = int(std::strlen(szName));
    const int nResult = nText + nCount * (nName - 1);
    CString result;
    char* out = result.GetBuffer(nResult);
    int from = 0;
    for (int i = text.Find(c); i >= 0; i = text.Find(c, i + 1)) {
        std::memcpy(out, p + from, std::size_t(i - from));
        out += i - from;
        std::memcpy(out, szName, std::size_t(nName));
        out += nName;
        from = i + 1;
    }
    std::memcpy(out, p + from, std::size_t(nText - from));
    result.ReleaseBuffer(nResult);

    const int nTail = nText - nLast - 1;
    char* buf = text.GetBuffer(0);
    std::memmove(buf, buf + nLast + 1, std::size_t(nTail));
    text.ReleaseBuffer(nTail);
    return result;
}

// Bytes of psz to keep under a limit of nMax, without splitting a character. Only a text
// longer than the limit needs the walk over its characters.
int CutLength(const char* psz, int nMax)
{
    const void* nul = std::memchr(psz, '\0', std::size_t(nMax) + 1);
    return nul ? int(static_cast<const char*>(nul) - psz) : AfxCharPrefix(psz, nMax);
}

bool IsControl(char c) { return c >= 0x01 && c <= 0x1F; }

}  // namespace

CGetEmotion::CGetEmotion() : m_bLocalMessage(0), m_nSpacePos(0), m_nCmdLength(0)
{
    m_szMyName[0] = '\0';
    m_szTargetName[0] = '\0';
}

CGetEmotion::CGetEmotion(const CGetEmotion& other)
    : m_bLocalMessage(other.m_bLocalMessage), m_nSpacePos(other.m_nSpacePos), m_nCmdLength(other.m_nCmdLength)
{
    std::memcpy(m_szMyName, other.m_szMyName, sizeof m_szMyName);
    std::memcpy(m_szTargetName, other.m_szTargetName, sizeof m_szTargetName);
}

CGetEmotion& CGetEmotion::operator=(const CGetEmotion& other)
{
    m_bLocalMessage = other.m_bLocalMessage;
    m_nSpacePos = other.m_nSpacePos;
    m_nCmdLength = other.m_nCmdLength;
    std::memmove(m_szMyName, other.m_szMyName, sizeof m_szMyName);
    std::memmove(m_szTargetName, other.m_szTargetName, sizeof m_szTargetName);
    return *this;
}

CGetEmotion::~CGetEmotion() = default;

void CGetEmotion::SetMyName(const char* name)
{
    if (name) CopyName(m_szMyName, name);
}

int CGetEmotion::IsLocalMessage() { return m_bLocalMessage; }

int CGetEmotion::GetEmotion(const char* sName, const char* szEmotionCmd, char* sDesMsg)
{
    if (!szEmotionCmd || !sDesMsg) return 0;

    if (sName && sName[0] != '\0') {
        CopyName(m_szMyName, sName);
    } else if (m_szMyName[0] == '\0') {
        TRACE("Warning : CChatClient::GetEmotion() : sName is empty\n");
        return 0;
    }

    // Leading white space goes here; trailing white space is removed by Chat, after the cut,
    // which gives the same command as trimming first. Nothing past the cut is read.
    const char* p = szEmotionCmd;
    while (AfxIsWhiteSpace(*p)) ++p;
    if (*p == '\0') {
        TRACE("Warning : CChatClient::GetEmotion() : szEmotionCmd is empty\n");
        return 0;
    }
    CString cmd(p, CutLength(p, kCommandMax));

    const CString reply = Chat(cmd);
    if (reply.IsEmpty()) {
        TRACE("Warning : CChatClient::GetEmotion() : sDesMsg is empty\n");
        return 0;
    }
    const int n = CutLength(reply, kReplyMax);
    std::memcpy(sDesMsg, static_cast<const char*>(reply), std::size_t(n));
    sDesMsg[n] = '\0';
    return 1;
}

CString CGetEmotion::Chat(CString& cmd)
{
    m_bLocalMessage = 0;
    cmd.TrimRight();
    if (cmd.GetAt(0) != '/') return cmd;

    m_nCmdLength = cmd.GetLength();
    if (m_nCmdLength == 1) return cmd;

    const char second = cmd.GetAt(1);
    if (IsControl(second) || static_cast<unsigned char>(second) >= 0x80) {
        m_bLocalMessage = 1;
        return ErrorProc(cmd);
    }

    char* buf = cmd.GetBuffer(0);
    for (int i = 0; i < m_nCmdLength; ++i)
        if (IsControl(buf[i])) buf[i] = ' ';
    cmd.ReleaseBuffer(m_nCmdLength);

    // "/verb" or "/verb target"; the target may hold further spaces.
    m_nSpacePos = cmd.Find(' ');
    const char* szCmd = cmd;
    const int nVerbEnd = m_nSpacePos < 0 ? m_nCmdLength : m_nSpacePos;
    const char* szTarget = "";
    Form form = kUntargeted;
    if (m_nSpacePos >= 0) {
        szTarget = szCmd + m_nSpacePos + 1;
        while (AfxIsWhiteSpace(*szTarget)) ++szTarget;
        if (std::strcmp(szTarget, m_szMyName) == 0) {
            form = kSelf;
        } else {
            form = kOther;
            CopyName(m_szTargetName, szTarget);
        }
    }
    char szVerb[kCommandMax];
    const int nVerb = nVerbEnd - 1;
    std::memcpy(szVerb, szCmd + 1, std::size_t(nVerb));
    szVerb[nVerb] = '\0';
    AfxForEachSingleByte(szVerb, nVerb, AfxToUpper);

    if (nVerb == 0) {
        m_bLocalMessage = 1;
        return ErrorProc(cmd);
    }

    const bool bHelpIndex = std::strcmp(szVerb, "HELP") == 0;
    const bool bHelpPage = nVerb == 1 && szVerb[0] >= '1' && szVerb[0] <= '0' + kPages;
    if (bHelpIndex || bHelpPage) {
        m_bLocalMessage = 1;
        if (szTarget[0] != '\0') return ErrorProc(cmd);
        return bHelpIndex ? CString(kHelpIndex) : HelpPage(szVerb[0] - '0');
    }

    const int row = FindEmotionCmd(szVerb);
    if (row < 0) {
        m_bLocalMessage = 1;
        return ErrorProc(cmd);
    }
    const int nID = g_emotionCmdTable[row].nStrID + form;
    const char* szText = LoadEmotionText(nID);
    if (!szText) {
        TRACE("Can not find string : %d\n", nID);
        m_bLocalMessage = 1;
        return ErrorProc(cmd);
    }

    CString text(szText);
    text.TrimLeft();
    text.TrimRight();
    CString named = ProcDollar(text);
    return ProcPercent(named);
}

CString CGetEmotion::ErrorProc(CString& cmd)
{
    const int nPrefix = int(sizeof kErrorPrefix) - 1;
    const int nSuffix = int(sizeof kErrorSuffix) - 1;
    const int nCmd = cmd.GetLength();
    CString reply;
    char* out = reply.GetBuffer(nPrefix + nCmd + nSuffix);
    std::memcpy(out, kErrorPrefix, std::size_t(nPrefix));
    std::memcpy(out + nPrefix, static_cast<const char*>(cmd), std::size_t(nCmd));
    std::memcpy(out + nPrefix + nCmd, kErrorSuffix, std::size_t(nSuffix));
    reply.ReleaseBuffer(nPrefix + nCmd + nSuffix);
    return reply;
}

CString CGetEmotion::ProcDollar(CString& text) { return Substitute(text, '#', m_szMyName); }

CString CGetEmotion::ProcPercent(CString& text) { return Substitute(text, '%', m_szTargetName); }
