// Resource ids of unbrevanto.
#ifndef UNBREVANTO_RESOURCE_H
#define UNBREVANTO_RESOURCE_H

#define IDI_UNINSTALL 101 /* looked up, but the program carries no icon */
#define IDD_UNINSTALL 102
#define IDC_PROGRESS 1000

#endif
