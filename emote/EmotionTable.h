// The emote vocabulary: keyword -> id of its first text, and the texts by id.
#ifndef LOBBYKIT_EMOTE_EMOTIONTABLE_H
#define LOBBYKIT_EMOTE_EMOTIONTABLE_H

// One keyword. Its three texts are nStrID (no target), nStrID + 1 (the speaker named
// himself) and nStrID + 2 (another player named).
struct EMOTION_CMD {
    const char* szCmd;  // upper-case ASCII, as typed after "/" in any case
    int nStrID;
};

constexpr int EMOTION_CMD_COUNT = 219;

// Rows 0-7: keywords that begin with something other than a letter, searched one by one.
// Rows 8-218: keywords that begin with a letter, strictly ascending, searched by bisection.
extern const EMOTION_CMD g_emotionCmdTable[EMOTION_CMD_COUNT];

namespace lobbykit::emote {

constexpr int kFirstLetterRow = 8;

// Text ids run from 1 to 657; slot 0 is unused.
constexpr int kEmotionTextSlots = 658;

// The texts, GBK, indexed by id; null where an id has no text. Generated at build time from
// resources/emote_texts.txt.
extern const char* const g_emotionTexts[kEmotionTextSlots];

// The row whose keyword equals szVerb (upper case), or -1.
int FindEmotionCmd(const char* szVerb);

// The text of nID, or null when the id has none (or an empty one).
const char* LoadEmotionText(int nID);

}  // namespace lobbykit::emote

#endif
