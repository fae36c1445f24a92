/* Ids of the library's string table. */
#ifndef BREVANTO_RESOURCE_H
#define BREVANTO_RESOURCE_H

#define IDS_NEEDS_LATER_HOST 1 /* the interpreter lacks RexxGetHalvorinFuncs */
#define IDS_NEEDS_HOST 2       /* the interpreter is not in the process */
#define IDS_NO_SESSION 3
#define IDS_NO_SERVER 4
#define IDS_CANT_DIAL 5
#define IDS_SHORT_WRITE 6

#endif
