#pragma once
// jompack diff and patch: one block patch between two files, made with the
// patch producer and applied with the engine's ApplyPatch.

#include <string>

int MakePatchFile(const std::wstring& oldFile, const std::wstring& newFile, const std::wstring& patchFile);
int ApplyPatchFile(const std::wstring& oldFile, const std::wstring& patchFile, const std::wstring& newFile);
