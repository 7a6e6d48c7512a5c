/* Prints the best-fit mapping of Windows-1252: each UTF-16 character that
 * is not in the code page but that WideCharToMultiByte still turns into one
 * of its bytes, as "XXXX YY" lines. Run by Wine (or Windows) to make
 * src/platform/api/BestFit1252.inc:
 *   i686-w64-mingw32-gcc scripts/bestfit1252.c -o bestfit1252.exe
 *   wine bestfit1252.exe | python3 scripts/bestfit1252.py > src/platform/api/BestFit1252.inc
 */
#include <windows.h>
#include <stdio.h>
int main(void) {
    for (unsigned c = 0x80; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        WCHAR w = (WCHAR)c; char out[4]; BOOL usedDefault = FALSE;
        int n = WideCharToMultiByte(1252, 0, &w, 1, out, sizeof out, NULL, &usedDefault);
        if (n != 1 || usedDefault) continue;
        WCHAR back = 0;
        MultiByteToWideChar(1252, 0, out, 1, &back, 1);
        if (back == w) continue;  /* the code page's own character */
        printf("%04X %02X\n", c, (unsigned char)out[0]);
    }
    return 0;
}
