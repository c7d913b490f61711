// A reader library that needs a function nobody provides: the dynamic loader
// refuses it when binding every symbol at load time.
extern "C" int norvane_helper_not_provided(int);

extern "C" __attribute__((visibility("default"))) int NORV_GetLibraryA(char *text, int size)
{
    return norvane_helper_not_provided(size) + (text ? 0 : 1);
}
