/* simulink.c: the level-1 host of an S-function built as a MEX file.  Included at
   the end of the S-function's source, it gives the MEX file its one entry,

       [sys, x0, str, ts] = name (t, x, u, flag)

   flag 0: sys the sizes [continuous states, discrete states, outputs, inputs, 0,
           direct feedthrough, sample times], x0 the initial states, str empty,
           ts the sample and offset times, one row each;
   flag 1: sys the derivatives of the continuous states;
   flag 2: sys the next discrete states (the generated blocks have none);
   flag 3: sys the outputs;
   flag 4: sys the time of the next sample hit (empty: no variable sample time);
   flag 9: the block's memory is given back; sys empty.

   Each MEX file has its own block structure.  Flags 1 to 4 need a flag 0 call
   before them (and after a flag 9), since the block allocates its memory there.
   Nothing here is named s: the S-function's headers define s as its state
   vector. */

static SimStruct xx_host_block;
static int xx_host_ready = 0;
static int xx_host_exit_registered = 0;

/* when the MEX file is cleared: the block's memory goes with it */
static void xx_host_at_exit (void)
{
	if (xx_host_ready)
	{
		mdlTerminate (&xx_host_block);
		xx_host_ready = 0;
	}
}

static void xx_host_fail (const char *text)
{
	mexErrMsgIdAndTxt ("orvanta:sfunction", "%s", text);
}

static void xx_host_check_status (void)
{
	if (ssGetErrorStatus (&xx_host_block) != NULL)
	{
		xx_host_ready = 0;
		xx_host_fail (ssGetErrorStatus (&xx_host_block));
	}
}

/* a real, full double argument */
static int xx_host_is_real (const mxArray *argument)
{
	return mxIsDouble (argument) && !mxIsComplex (argument) && !mxIsSparse (argument);
}

/* a copy of a vector argument of the length the block wants, with at least one
   element; the block may write into it without touching the caller's value */
static double *xx_host_vector (const mxArray *argument, int length, const char *what)
{
	double *copy;
	size_t count = mxGetNumberOfElements (argument);

	if (!xx_host_is_real (argument) || count != (size_t) length)
	{
		char text [160];
		sprintf (text, "%.40s must be a real vector of %d element%s", what, length, length == 1 ? "" : "s");
		xx_host_fail (text);
	}
	copy = (double *) mxCalloc (length > 0 ? (size_t) length : 1, sizeof (double));
	if (length > 0)
	{
		memcpy (copy, mxGetPr (argument), (size_t) length * sizeof (double));
	}
	return copy;
}

/* the sizes the block gives */
static void xx_host_sizes (void)
{
	memset (&xx_host_block, 0, sizeof (xx_host_block));
	mdlInitializeSizes (&xx_host_block);
	xx_host_check_status ();
	if (ssGetNumContStates (&xx_host_block) < 0 || ssGetNumDiscStates (&xx_host_block) < 0 ||
	    ssGetNumInputs (&xx_host_block) < 0 || ssGetNumOutputs (&xx_host_block) < 0 ||
	    ssGetNumSampleTimes (&xx_host_block) < 1 || ssGetNumSampleTimes (&xx_host_block) > SS_MAX_SAMPLE_TIMES)
	{
		xx_host_fail ("the block gives sizes out of range");
	}
}

static mxArray *xx_host_column (int length)
{
	return mxCreateDoubleMatrix (length > 0 ? (mwSize) length : 0, 1, mxREAL);
}

/* flag 0 */
static void xx_host_initialize (int nlhs, mxArray *plhs[])
{
	int states = ssGetNumContStates (&xx_host_block) + ssGetNumDiscStates (&xx_host_block);
	int times;
	mxArray *sizes = mxCreateDoubleMatrix (7, 1, mxREAL);
	mxArray *initial = xx_host_column (states);
	double *value = mxGetPr (sizes);
	double *table;
	int row;

	mdlInitializeSampleTimes (&xx_host_block);
	xx_host_check_status ();
	xx_host_block.firstInitCond = 1;
	mdlInitializeConditions (states > 0 ? mxGetPr (initial) : NULL, &xx_host_block);
	xx_host_block.firstInitCond = 0;
	xx_host_check_status ();
	xx_host_ready = 1;
	if (!xx_host_exit_registered)
	{
		mexAtExit (xx_host_at_exit);
		xx_host_exit_registered = 1;
	}

	value [0] = ssGetNumContStates (&xx_host_block);
	value [1] = ssGetNumDiscStates (&xx_host_block);
	value [2] = ssGetNumOutputs (&xx_host_block);
	value [3] = ssGetNumInputs (&xx_host_block);
	value [4] = 0;
	value [5] = ssGetDirectFeedThrough (&xx_host_block);
	value [6] = ssGetNumSampleTimes (&xx_host_block);
	plhs [0] = sizes;
	if (nlhs > 1)
	{
		plhs [1] = initial;
	}
	else
	{
		mxDestroyArray (initial);
	}
	if (nlhs > 2)
	{
		plhs [2] = mxCreateString ("");
	}
	if (nlhs > 3)
	{
		times = ssGetNumSampleTimes (&xx_host_block);
		plhs [3] = mxCreateDoubleMatrix ((mwSize) times, 2, mxREAL);
		table = mxGetPr (plhs [3]);
		for (row = 0; row < times; row++)
		{
			table [row] = ssGetSampleTime (&xx_host_block, row);
			table [row + times] = ssGetOffsetTime (&xx_host_block, row);
		}
	}
}

void mexFunction (int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
	double flag_value;
	int flag;
	int states;
	int inputs;
	double *x;
	double *u;
	mxArray *result;

	if (nrhs != 4)
	{
		xx_host_fail ("call it as [sys, x0, str, ts] = f (t, x, u, flag)");
	}
	if (nlhs > 4)
	{
		xx_host_fail ("it gives at most four results");
	}
	if (!xx_host_is_real (prhs [3]) || mxGetNumberOfElements (prhs [3]) != 1)
	{
		xx_host_fail ("the flag must be a real number");
	}
	flag_value = mxGetScalar (prhs [3]);
	flag = (int) flag_value;
	if ((double) flag != flag_value)
	{
		xx_host_fail ("the flag must be a whole number");
	}

	/* the sizes are asked anew on every call: they do not change, and they are
	   all the block structure holds besides the time */
	xx_host_sizes ();
	if (flag == 0)
	{
		xx_host_initialize (nlhs, plhs);
		return;
	}
	if (flag == 9)
	{
		if (xx_host_ready)
		{
			mdlTerminate (&xx_host_block);
			xx_host_ready = 0;
		}
		plhs [0] = xx_host_column (0);
		return;
	}
	if (flag != 1 && flag != 2 && flag != 3 && flag != 4)
	{
		char text [80];
		sprintf (text, "flag %d is none of 0, 1, 2, 3, 4 and 9", flag);
		xx_host_fail (text);
	}
	if (!xx_host_ready)
	{
		xx_host_fail ("the block is not initialized: call it with flag 0 first");
	}
	if (!xx_host_is_real (prhs [0]) || mxGetNumberOfElements (prhs [0]) != 1)
	{
		xx_host_fail ("the time must be a real number");
	}
	xx_host_block.time = mxGetScalar (prhs [0]);
	states = ssGetNumContStates (&xx_host_block) + ssGetNumDiscStates (&xx_host_block);
	inputs = ssGetNumInputs (&xx_host_block);
	x = xx_host_vector (prhs [1], states, "the state vector x");
	u = xx_host_vector (prhs [2], inputs, "the input vector u");

	switch (flag)
	{
	case 1:
		result = xx_host_column (ssGetNumContStates (&xx_host_block));
		if (ssGetNumContStates (&xx_host_block) > 0)
		{
			mdlDerivatives (mxGetPr (result), x, u, &xx_host_block, 0);
		}
		break;
	case 2:
		mdlUpdate (x, u, &xx_host_block, 0);
		result = xx_host_column (ssGetNumDiscStates (&xx_host_block));
		if (ssGetNumDiscStates (&xx_host_block) > 0)
		{
			memcpy (mxGetPr (result), x + ssGetNumContStates (&xx_host_block),
			        (size_t) ssGetNumDiscStates (&xx_host_block) * sizeof (double));
		}
		break;
	case 3:
		result = xx_host_column (ssGetNumOutputs (&xx_host_block));
		{
			/* a block without outputs still gets a place to write to */
			double spare = 0.0;
			mdlOutputs (ssGetNumOutputs (&xx_host_block) > 0 ? mxGetPr (result) : &spare, x, u, &xx_host_block, 0);
		}
		break;
	default:
		result = xx_host_column (0);
		break;
	}
	mxFree (x);
	mxFree (u);
	xx_host_check_status ();
	plhs [0] = result;
}
