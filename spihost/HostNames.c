/*
 * Names between Velmo and the plug-ins: Linux paths as Windows paths, file
 * names in the plug-ins' code page, the plug-ins' texts in UTF-8.
 */
#include "HostNames.h"

#include <stdlib.h>
#include <string.h>

typedef WCHAR*(CDECL* TToDos)(const char*);

/* The Windows path of a Linux path, allocated; NULL when there is none. */
WCHAR* DosPath(const char* unixPath) {
    static TToDos toDos;
    static int resolved;
    WCHAR* wide;
    int n;
    if (!resolved) {
        toDos = (TToDos)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                              "wine_get_dos_file_name");
        resolved = 1;
    }
    if (unixPath[0] == '/' && toDos) {
        WCHAR* dos = toDos(unixPath);
        if (dos) {
            wide = malloc((wcslen(dos) + 1) * sizeof(WCHAR));
            wcscpy(wide, dos);
            HeapFree(GetProcessHeap(), 0, dos);
            return wide;
        }
    }
    /* A relative name (a stream's name) keeps its text. */
    n = MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, NULL, 0);
    if (n <= 0)
        return NULL;
    wide = malloc((size_t)n * sizeof(WCHAR));
    MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, wide, n);
    return wide;
}

/* A wide text in the plug-ins' code page when every character converts;
 * NULL otherwise. */
static char* ExactAnsi(const WCHAR* wide) {
    BOOL lossy = FALSE;
    char* text;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, NULL, 0, NULL, &lossy);
    if (n <= 0 || lossy)
        return NULL;
    text = malloc((size_t)n);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, text, n, NULL, &lossy);
    if (lossy) {
        free(text);
        return NULL;
    }
    return text;
}

/* The file name a plug-in is given: the exact name in its code page, else
 * the short name, which any code page spells. */
char* PluginFileName(const char* unixPath) {
    WCHAR* wide = DosPath(unixPath);
    char* text;
    if (!wide)
        return calloc(1, 1);
    text = ExactAnsi(wide);
    if (!text) {
        WCHAR shortName[MAX_PATH];
        DWORD n = GetShortPathNameW(wide, shortName, MAX_PATH);
        if (n > 0 && n < MAX_PATH)
            text = ExactAnsi(shortName);
    }
    free(wide);
    return text ? text : calloc(1, 1);
}

/* A plug-in's own text (code page 932) in UTF-8, allocated. */
char* Utf8FromPlugin(const char* text) {
    int n = MultiByteToWideChar(932, 0, text, -1, NULL, 0);
    WCHAR* wide;
    char* utf8;
    if (n <= 0)
        return calloc(1, 1);
    wide = malloc((size_t)n * sizeof(WCHAR));
    MultiByteToWideChar(932, 0, text, -1, wide, n);
    n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, NULL, 0, NULL, NULL);
    utf8 = malloc((size_t)(n > 0 ? n : 1));
    utf8[0] = '\0';
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, n, NULL, NULL);
    free(wide);
    return utf8;
}
