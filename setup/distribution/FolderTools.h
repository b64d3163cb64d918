#pragma once
// Folder operations of the work-folder and kit code: listing, creation with
// parents and quiet removal. Removal never enters links to folders, so a
// junction inside a work folder cannot make a sweep delete files elsewhere.
// Failures are ignored where the callers tolerate leftovers.

#include <string>
#include <vector>

struct TFolderEntry {
  std::wstring Name;
  bool IsFolder;
  bool IsLink;  // a reparse point (junction or symbolic link)
};

// The entries of folder without "." and ".."; empty when it cannot be read.
std::vector<TFolderEntry> ListFolder(const std::wstring& folder);
// True when the folder exists afterwards (created with missing parents).
bool CreateFolderWithParents(const std::wstring& folder);
// Deletes the files directly in folder, read-only ones too.
void DeleteFolderFiles(const std::wstring& folder);
// Deletes everything inside folder; links are removed, not entered.
void DeleteFolderContent(const std::wstring& folder);
// Removes the (empty) folder itself, clearing its attributes first.
void DeleteFolderQuietly(const std::wstring& folder);
