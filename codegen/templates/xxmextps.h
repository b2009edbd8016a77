<<<banner>>>
#ifndef XX_MEXTPS_H
#define XX_MEXTPS_H

/* The model computes in double precision (64-bit IEEE reals, about 15
   significant digits), as its host does; counts are longs and truth values chars. */
typedef double XXDouble;
typedef long XXInteger;
typedef char XXBoolean;

#define XXTRUE	1
#define XXFALSE	0

/* The host keeps the time and the states: the simulation time is the time of the
   current call, and the equations' states are the state vector the host passes. */
#define xx_simulation_time (double)ssGetT(MyS)
#define s x

#endif
