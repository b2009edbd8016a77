#Hclass	loop1
#Iprocsr	0
#Imethod	3
#Tstart 	0
#Tfinish	6
#Iabserr	1E-06
#Irelerr	1E-06
#Ialpabserr	1E-08
#Tstinit	0	0.001
#Tstmax 	1	0.1
#Tcomint	1	0.1
#Tignwarn	0	0
#Tscaleode	0	0
