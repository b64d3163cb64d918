#include "launcher/UserFolders.h"

#include "platform/Win.h"
// shlobj.h needs the declarations of windows.h first.
#include <shlobj.h>

void CreateUserFolders() {
  // 0x47 lies beyond the documented constants; it is passed on unchanged.
  static constexpr int Folders[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,   CSIDL_MYMUSIC,
                                    CSIDL_MYVIDEO,          CSIDL_MYPICTURES, 0x47};
  for (const int Folder : Folders) {
    // A folder that fails only returns FALSE; the next one is still tried.
    wchar_t Path[MAX_PATH + 1] = {};
    ::SHGetSpecialFolderPathW(nullptr, Path, Folder, TRUE);
  }
}
