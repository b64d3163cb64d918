#pragma once
// Distribution parameters: process-wide settings of the engine, set through
// SetSetupParameter before any function runs and read by the pipelines.

#include <cstdint>
#include <string>

struct TDistrParameters {
  std::wstring ProgramsIniFileName = L"kvt.ini";
  std::wstring ProgramRenewFileExtension = L".rnw";
  std::wstring ProgramRenewFileKeyName = L"KVTRenewFile";
  std::uint8_t ProgramLstFilesCharCase = 0;
  std::uint8_t ProgramLstDirsCharCase = 0;
};

// The process's parameters.
TDistrParameters& DistrParameters();

// Sets the parameter called name (ASCII case ignored): for a text parameter
// value is a pointer to zero-terminated text (null reads as empty), for a
// byte parameter the number itself; unknown names are ignored. An empty or
// blank programs file name gives "kvt.ini".
void SetDistrParameter(const std::wstring& name, std::intptr_t value);
