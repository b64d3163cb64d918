/* The code of the resource-only test libraries. */
int TavrelEmptyLibrary(void) { return 0; }
