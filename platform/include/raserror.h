/*
 * raserror.h: the dial-up error codes this system uses, with the values of
 * the Windows SDK. InternetDial and InternetHangUp return them.
 */
#ifndef PLATFORM_RASERROR_H
#define PLATFORM_RASERROR_H

#define RASBASE 600
#define ERROR_CANNOT_OPEN_PHONEBOOK (RASBASE + 21)
#define ERROR_CANNOT_FIND_PHONEBOOK_ENTRY (RASBASE + 23)
#define ERROR_FROM_DEVICE (RASBASE + 51)
#define ERROR_NO_ANSWER (RASBASE + 78)

#endif /* PLATFORM_RASERROR_H */
