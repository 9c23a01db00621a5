/* A module the size of a real player module (about 7.4 MiB on disk), for the loader benchmark:
   a large initialised data section, a table of pointers that needs a base relocation per
   entry, and a little code that imports from system libraries. */
#include <windows.h>

#define POINTER_COUNT 16384

int BigTick(int value) { return value + (int)GetTickCount(); }
int BigTock(int value) { return value - (int)GetCurrentProcessId(); }

typedef int (*TStep)(int);

/* C names carry a leading underscore in 32-bit objects. */
#ifdef _WIN64
#define CNAME(name) #name
#else
#define CNAME(name) "_" #name
#endif

/* Every entry is an absolute address: one relocation each, as in a real module's vtables. */
__asm__(".section .data$bigtable,\"w\"\n"
        ".balign 16\n"
        ".globl " CNAME(big_table) "\n" CNAME(big_table) ":\n"
        ".rept 8192\n"
#ifdef _WIN64
        ".quad " CNAME(BigTick) "\n.quad " CNAME(BigTock) "\n"
#else
        ".long " CNAME(BigTick) "\n.long " CNAME(BigTock) "\n"
#endif
        ".endr\n"
        ".section .rdata$bigdata,\"dr\"\n"
        ".balign 16\n"
        ".globl " CNAME(big_data) "\n" CNAME(big_data) ":\n"
        ".rept 474300\n"
        ".quad 0x0123456789ABCDEF, 0x0F1E2D3C4B5A6978\n"
        ".endr\n"
        ".text\n");

extern TStep big_table[POINTER_COUNT];
extern const unsigned char big_data[];

__declspec(dllexport) int BigModuleWork(int value) {
    /* Keeps both functions alive for the table's references. */
    return big_table[value & (POINTER_COUNT - 1)](value) + big_data[value & 0xFFFF] + BigTick(0) - BigTock(0);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
