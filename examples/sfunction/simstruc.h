/* simstruc.h: the block structure an S-function reads and sets through the ss
   macros, as the level-1 host in simulink.c and the test hosts use it.  Only what
   the suite's generated S-functions need is here.  Plain ANSI C. */
#ifndef SIMSTRUC_H
#define SIMSTRUC_H

#ifdef MATLAB_MEX_FILE
#include "mex.h"
#endif

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* the most sample times a block may have */
#define SS_MAX_SAMPLE_TIMES 4

/* the sample time of a block that is integrated continuously */
#define CONTINUOUS_SAMPLE_TIME 0.0

typedef struct SimStruct_tag
{
	/* sizes, set by mdlInitializeSizes */
	int numContStates;
	int numDiscStates;
	int numInputs;
	int numOutputs;
	int directFeedThrough;
	int numSampleTimes;
	int numSFcnParams;
	int numRWork;
	int numIWork;
	int numPWork;

	/* sample times, set by mdlInitializeSampleTimes */
	double sampleTimes [SS_MAX_SAMPLE_TIMES];
	double offsetTimes [SS_MAX_SAMPLE_TIMES];

	/* the time of the current call, set by the host */
	double time;
	/* true while the host asks for the first initial conditions */
	int firstInitCond;
	/* the time of the next sample hit of a variable sample time */
	double nextHit;
	/* a text the block sets when it fails; NULL while all is well */
	const char *errorStatus;
} SimStruct;

#define ssSetNumContStates(S, n)      ((S)->numContStates = (int) (n))
#define ssSetNumDiscStates(S, n)      ((S)->numDiscStates = (int) (n))
#define ssSetNumInputs(S, n)          ((S)->numInputs = (int) (n))
#define ssSetNumOutputs(S, n)         ((S)->numOutputs = (int) (n))
#define ssSetDirectFeedThrough(S, n)  ((S)->directFeedThrough = (int) (n))
#define ssSetNumSampleTimes(S, n)     ((S)->numSampleTimes = (int) (n))
#define ssSetNumSFcnParams(S, n)      ((S)->numSFcnParams = (int) (n))
#define ssSetNumRWork(S, n)           ((S)->numRWork = (int) (n))
#define ssSetNumIWork(S, n)           ((S)->numIWork = (int) (n))
#define ssSetNumPWork(S, n)           ((S)->numPWork = (int) (n))

#define ssGetNumContStates(S)         ((S)->numContStates)
#define ssGetNumDiscStates(S)         ((S)->numDiscStates)
#define ssGetNumInputs(S)             ((S)->numInputs)
#define ssGetNumOutputs(S)            ((S)->numOutputs)
#define ssGetDirectFeedThrough(S)     ((S)->directFeedThrough)
#define ssGetNumSampleTimes(S)        ((S)->numSampleTimes)
#define ssGetNumSFcnParams(S)         ((S)->numSFcnParams)

/* a sample time index past the table sets the error status instead */
#define ssSetSampleTime(S, i, value) \
	((i) >= 0 && (i) < SS_MAX_SAMPLE_TIMES ? (void) ((S)->sampleTimes [(i)] = (value)) \
	                                       : (void) ((S)->errorStatus = "sample time index out of range"))
#define ssSetOffsetTime(S, i, value) \
	((i) >= 0 && (i) < SS_MAX_SAMPLE_TIMES ? (void) ((S)->offsetTimes [(i)] = (value)) \
	                                       : (void) ((S)->errorStatus = "offset time index out of range"))
#define ssGetSampleTime(S, i)         ((S)->sampleTimes [(i)])
#define ssGetOffsetTime(S, i)         ((S)->offsetTimes [(i)])

#define ssGetT(S)                     ((S)->time)
#define ssIsFirstInitCond(S)          ((S)->firstInitCond)
#define ssSetTNext(S, t)              ((S)->nextHit = (t))
#define ssSetErrorStatus(S, text)     ((S)->errorStatus = (text))
#define ssGetErrorStatus(S)           ((S)->errorStatus)

#endif
