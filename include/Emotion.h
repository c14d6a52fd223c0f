// Chat emotes: a typed line such as "/love tom" becomes a ready-made sentence about the speaker
// and the named player; "/help" and "/1" to "/4" give help pages. All text is GBK.
//
//   CGetEmotion emote;
//   char reply[1024];
//   if (emote.GetEmotion("amy", line, reply)) {
//       if (emote.IsLocalMessage()) ShowToSpeaker(reply); else SendToRoom(reply);
//   }
//
// One object serves one thread at a time; it keeps the speaker's name and the last player
// named by a command between calls, and holds no heap memory between calls.
//
// Names are cut to 31 bytes, the command to 1,024 and the reply to 1,023, never inside a
// GBK character. Choices where the behaviour is open: docs/behaviour.md, "Chat emotes".
#ifndef LOBBYKIT_EMOTION_H
#define LOBBYKIT_EMOTION_H

#include "LobbyKitExport.h"
#include "afxstr.h"

class LOBBYKIT_API CGetEmotion {
public:
    CGetEmotion();
    CGetEmotion(const CGetEmotion& other);
    CGetEmotion& operator=(const CGetEmotion& other);
    virtual ~CGetEmotion();

    // Interprets one typed line.
    //   sName         the speaker's name; "" (or null) keeps the name stored earlier.
    //   szEmotionCmd  the line as typed, NUL-terminated, any bytes, any length.
    //   sDesMsg       receives the reply, NUL-terminated, at most 1,023 bytes of text; the
    //                 caller provides at least 1,024 bytes.
    // Returns 1 if a reply was written, 0 if nothing was written: szEmotionCmd or sDesMsg
    // null, no speaker's name known, a line of white space only, or an empty reply.
    int GetEmotion(const char* sName, const char* szEmotionCmd, char* sDesMsg);

    // Stores the speaker's name (its first 31 bytes); null leaves it, "" clears it.
    void SetMyName(const char* name);

    // 1 if the last reply is for the speaker alone (help and error replies), else 0.
    int IsLocalMessage();

private:
    CString Chat(CString& cmd);
    CString ErrorProc(CString& cmd);
    CString ProcDollar(CString& text);
    CString ProcPercent(CString& text);

    int m_bLocalMessage;
    int m_nSpacePos;
    int m_nCmdLength;
    char m_szMyName[32];
    char m_szTargetName[32];
};

#endif
