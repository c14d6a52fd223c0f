// Player level titles: game id + score -> rank title and level number.
#ifndef LOBBYKIT_LEVELNAME_H
#define LOBBYKIT_LEVELNAME_H

#include "LobbyKitExport.h"

// Looks up the title and level number of a score in the ladder of game nGameID.
//
//   nGameID  ids 0-17 and 20 have a ladder; any other id is unknown.
//   pScore   address of the score, a 32-bit signed little-endian integer read once (any
//            alignment). Must not be null.
//   szTitle  receives the GBK title with its terminator (at most 10 bytes + NUL; pass 32
//            bytes). May be null if pLevel is given.
//   pLevel   receives the level number: the title's position in its ladder, 0 = highest for
//            the dan, examination and nobility ladders, 0 = lowest for the others. May be
//            null if szTitle is given.
//
// Officer ladder (ids 0 and 1): the level number is the grade position, 5 * rank + grade
// (0 = "列兵A" ... 54 = "元帅E"), and 55 for "统帅", so it rises with the title like the
// other ladders' numbers do.
//
// Unknown id: szTitle gets "未知" and *pLevel is left unchanged. Null pScore, or both
// outputs null: nothing is read or written. Never allocates; safe from any thread.
LOBBYKIT_API void GetLevelName(int nGameID, const char* pScore, char* szTitle, long* pLevel);

#endif
