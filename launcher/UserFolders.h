#pragma once
// The standard user folders of the Wine prefix that the product expects.

// Creates the desktop, documents, music, video and pictures folders and the
// folder of index 0x47; a folder that cannot be created is skipped.
void CreateUserFolders();
