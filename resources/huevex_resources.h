/* Resource identifiers shared by resources/huevex.rc and the Win32 backend.
   Plain defines only: the resource compiler reads this file too. */
#ifndef HUEVEX_RESOURCES_H
#define HUEVEX_RESOURCES_H

#define HUEVEX_ICON_GROUP 1
/* The images of the icon group: 32 x 32 in two colors, 32 x 32 and 16 x 16 in 16 colors. */
#define HUEVEX_ICON_32_MONO 30001
#define HUEVEX_ICON_32 30002
#define HUEVEX_ICON_16 30003
#define HUEVEX_VERSION_BLOCK 1

#endif
