<<<banner>>>
#ifndef XX_TYPES_H
#define XX_TYPES_H

/* The model computes in double precision (64-bit IEEE reals, about 15
   significant digits); counts are plain ints and truth values chars. */
typedef double XXDouble;
typedef int XXInteger;
typedef char XXBoolean;

#define XXTRUE 1
#define XXFALSE 0

#endif
