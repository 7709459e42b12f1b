// winmm's sound: sndPlaySoundA "plays" a file that exists by writing it to
// the journal; there is no audio here.
#include <sys/stat.h>

#include <string>

#include "winapi/windows.h"
#include "winapi/world.h"

BOOL WINAPI sndPlaySoundA(LPCSTR lpszSound, UINT fuSound) {
  (void)fuSound;  // synchronous or not, nothing is heard
  if (lpszSound == nullptr) return TRUE;  // stops a playing sound: there is none
  struct stat st {};
  const std::string path = world::HostPath(lpszSound);
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return FALSE;
  world::Journal(std::string("sound ") + lpszSound);
  return TRUE;
}
