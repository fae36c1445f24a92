// String ids of the sample module; read by the script and by the tests.
#ifndef SAMPLE_IDS_H
#define SAMPLE_IDS_H

#define IDS_LATER_VERSION 1
#define IDS_NO_HOST 2
#define IDS_FOUR 3
#define IDS_SPECIAL 4
#define IDS_SECOND_BLOCK 17
#define IDS_ONLY_GERMAN 40
#define IDS_LAST 65535

/* Not a directive: the resource compiler passes over code in headers. */
int IgnoredByTheResourceCompiler(void);

#endif
