/*
 * Names between Velmo and the plug-ins (HostNames.c). Each result is
 * allocated with malloc and never NULL unless said.
 */
#ifndef VELMO_HOST_NAMES_H
#define VELMO_HOST_NAMES_H

#include <windows.h>

/* The Windows path of a Linux path (a relative name keeps its text); NULL
 * when there is none. */
WCHAR* DosPath(const char* unixPath);
/* The file name a plug-in is given: the exact name in its code page, else
 * the short name, which any code page spells; empty when neither works. */
char* PluginFileName(const char* unixPath);
/* A plug-in's own text (code page 932) in UTF-8. */
char* Utf8FromPlugin(const char* text);

#endif /* VELMO_HOST_NAMES_H */
