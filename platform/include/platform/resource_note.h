/*
 * How compiled resources sit in a module: win32_rc writes one ELF note per
 * resource script or message file, kernel32 reads every such note of a module.
 *
 * The note (section WIN32_RSRC_SECTION, 4-byte aligned, placed by the linker in
 * a PT_NOTE segment) has the owner name WIN32_RSRC_OWNER and the type
 * WIN32_RSRC_NOTE_TYPE. Its descriptor starts with a WIN32_RSRC_DIRECTORY,
 * followed by `count` WIN32_RSRC_ENTRY records and then the resource data;
 * every offset counts from the start of the descriptor and every datum starts
 * on a 4-byte boundary. The data are in Windows' own binary formats.
 */
#ifndef PLATFORM_RESOURCE_NOTE_H
#define PLATFORM_RESOURCE_NOTE_H

#include <stdint.h>

#define WIN32_RSRC_SECTION ".note.win32.rsrc"
#define WIN32_RSRC_OWNER "Win32Rsrc"
#define WIN32_RSRC_NOTE_TYPE 1u
#define WIN32_RSRC_SIGNATURE 0x52323357u /* "W32R" */

typedef struct WIN32_RSRC_DIRECTORY {
    uint32_t signature;
    uint32_t count;
} WIN32_RSRC_DIRECTORY;

typedef struct WIN32_RSRC_ENTRY {
    uint32_t type;     /* RT_STRING, RT_MESSAGETABLE, RT_VERSION, ... */
    uint32_t id;       /* numeric name */
    uint32_t language; /* LANGID */
    uint32_t offset;   /* of the data, from the start of the descriptor */
    uint32_t size;     /* of the data in bytes */
} WIN32_RSRC_ENTRY;

#endif
