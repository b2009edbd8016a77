/* cg_sfun.h: where an S-function is built into generated code rather than a MEX
   file, this header registers its callbacks.  The suite builds S-functions as
   MEX files only; compiled without MATLAB_MEX_FILE the callbacks stay plain
   functions that a host links and calls itself. */
