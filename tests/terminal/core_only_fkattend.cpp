// A stand-in terminal library with the nineteen operations and none of the event extension, as a
// library built before the extension is: the loader must take it.
#include "incomplete_fkattend.cpp"

ORVELO_STUB(FK_SetUserName, int32_t, int32_t, const char*)
