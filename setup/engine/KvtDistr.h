/*
 * KvtDistr: the flat entry of the Tavrel installation engine.
 *
 * setup.exe links the engine in; KvtDistr.dll exports the same two functions
 * with C linkage for other programs. Texts are zero-terminated UTF-16 strings
 * owned by the side that passes them and valid only during the call.
 *
 * Usage:
 *   SetSetupParameter(L"ProgramsIniFileName", (intptr_t)L"C:\\ProgramData\\Tavrel\\jomsetup.ini");
 *   TSetupFunctionParams params = {sizeof params};
 *   params.OnMessage = MyMessage;  params.UserData = &myState;
 *   int32_t ok = ExecuteSetupFunction(L"C:\\Program Files\\Tavrel\\", sfCheck, NULL, &params);
 */
#ifndef TAVREL_KVTDISTR_H
#define TAVREL_KVTDISTR_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Function codes of ExecuteSetupFunction. Any other code does nothing and
 * reports success. */
enum {
  sfInstall = 1,      /* Parameter: TInstallParams*; Folder: the kit        */
  sfUpdate = 2,       /* Parameter: const wchar_t*, the update file         */
  sfCheck = 3,        /* Parameter: unused; Folder: the installed program   */
  sfBuildKit = 4,     /* Parameter: const wchar_t*, the target folder       */
  sfStationSetup = 5, /* Parameter: unused                                  */
  sfUninstall = 6     /* Parameter: unused                                  */
};

/* Message kinds of OnMessage. An mkError message makes the function fail. */
enum { mkError = 0, mkInfo = 1, mkWarning = 2 };

/* A message for the caller's message list. */
typedef void (*TSetupMessageCallback)(int32_t Kind, const wchar_t* Text, void* UserData);

/* Progress: an empty text keeps its line, a single blank clears it, and
 * Percent -1 keeps the bar. Setting *Cancel to nonzero asks the running
 * function to stop. */
typedef void (*TSetupStatusCallback)(const wchar_t* Title, const wchar_t* Text1, const wchar_t* Text2,
                                     int32_t Percent, uint8_t* Cancel, void* UserData);

/* A question; returns the pressed button (IDYES = 6, IDNO = 7, ...). When
 * null, the engine asks with its own message boxes. */
typedef int32_t (*TSetupQuestionCallback)(const wchar_t* Caption, const wchar_t* Text, uint32_t Flags,
                                          void* UserData);

#pragma pack(push, 1)

/* Callbacks and options of one ExecuteSetupFunction call (48 bytes, copied
 * at the call). Every callback may be null. */
typedef struct TSetupFunctionParams {
  uint32_t Size;      /* 48; not checked */
  int32_t Automatic;  /* nonzero: run without questions */
  TSetupMessageCallback OnMessage;
  TSetupStatusCallback OnStatus;
  void* Reserved;
  TSetupQuestionCallback OnQuestion;
  void* UserData;     /* handed back to every callback */
} TSetupFunctionParams;

/* The parameter of sfInstall (24 bytes, packed). */
typedef struct TInstallParams {
  uint32_t Size;              /* accepted from 16 to 64 inclusive */
  const wchar_t* InstallDir;  /* target program folder */
  const wchar_t* GroupName;   /* program group; empty keeps the kit's group */
  int32_t NoShortcuts;        /* nonzero: no program-group shortcuts */
} TInstallParams;

#pragma pack(pop)

/* Sets one distribution parameter (names compared without regard to ASCII
 * case; unknown names are ignored). Text parameters pass a wide-text
 * pointer, byte parameters the number itself:
 *   "ProgramsIniFileName" / "KvtIniFileName"  text, default "kvt.ini"
 *   "ProgramRenewFileExtension"               text, default ".rnw"
 *   "ProgramRenewFileKeyName"                 text, default "KVTRenewFile"
 *   "ProgramLstFilesCharCase"                 byte, 0 as written, 1 upper, 2 lower
 *   "ProgramLstDirsCharCase"                  byte, likewise for folders */
void SetSetupParameter(const wchar_t* Name, intptr_t Value);

/* Runs one function of the engine on Folder. Returns -1 when it ran and no
 * mkError message was reported, 0 otherwise. An exception inside the engine
 * becomes one mkError message and the result 0. */
int32_t ExecuteSetupFunction(const wchar_t* Folder, int32_t Function, void* Parameter,
                             const TSetupFunctionParams* Params);

#ifdef __cplusplus
}

static_assert(sizeof(TSetupFunctionParams) == 48);
static_assert(offsetof(TSetupFunctionParams, Automatic) == 4);
static_assert(offsetof(TSetupFunctionParams, OnMessage) == 8);
static_assert(offsetof(TSetupFunctionParams, OnStatus) == 16);
static_assert(offsetof(TSetupFunctionParams, Reserved) == 24);
static_assert(offsetof(TSetupFunctionParams, OnQuestion) == 32);
static_assert(offsetof(TSetupFunctionParams, UserData) == 40);
static_assert(sizeof(TInstallParams) == 24);
static_assert(offsetof(TInstallParams, InstallDir) == 4);
static_assert(offsetof(TInstallParams, GroupName) == 12);
static_assert(offsetof(TInstallParams, NoShortcuts) == 20);
#endif

#endif /* TAVREL_KVTDISTR_H */
