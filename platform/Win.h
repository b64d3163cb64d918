#pragma once
// The one way into <windows.h>. Everything that needs the Windows API
// includes this header, never <windows.h> itself: it fixes the target
// version, and it removes the A/W alias macros whose names are also names of
// our own operations (IPlatformTools::CopyFile and the like), so that those
// names mean the same in every translation unit. Call the ...W functions.

#ifndef _WIN32
#error "platform/Win.h is for the Windows build only"
#endif

#include <windows.h>

#undef CopyFile
#undef CreateDirectory
#undef CreateEvent
#undef DeleteFile
#undef CreateHardLink
#undef CreateNamedPipe
#undef CreateSymbolicLink
#undef DefineDosDevice
#undef ExitWindows
#undef GetComputerName
#undef GetDiskFreeSpace
#undef GetDriveType
#undef GetFileAttributes
#undef GetLocaleInfo
#undef GetLongPathName
#undef GetModuleFileName
#undef GetSystemDirectory
#undef GetSystemWow64Directory
#undef GetTempPath
#undef GetUserName
#undef GetWindowsDirectory
#undef InitiateShutdown
#undef InterlockedDecrement
#undef InterlockedIncrement
#undef IsCharAlpha
#undef IsCharAlphaNumeric
#undef IsCharLower
#undef IsCharUpper
#undef LoadLibrary
#undef MoveFile
#undef PostMessage
#undef RegisterWindowMessage
#undef RemoveDirectory
#undef SendMessageTimeout
#undef SetEnvironmentVariable
#undef SetFileAttributes
#undef MessageBox
#undef FindWindow
